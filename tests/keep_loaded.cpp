// Preloaded under the sanitizers: no library is ever unloaded. The GL drivers that SDL_Quit
// unloads would otherwise take along the globals that still point at what they allocated,
// and LeakSanitizer would report all of it as leaked, from a library it can no longer name.
extern "C" int dlclose(void * /*handle*/)
{
    return 0;
}
