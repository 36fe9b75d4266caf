# Run by CPack in the staged install tree, before it builds any package: modes of our own
# (0644 and 0755), so that neither the builder's umask nor the tree's modes reach the package.
execute_process(COMMAND chmod -R u=rwX,go=rX ${CPACK_TEMPORARY_INSTALL_DIRECTORY}
                COMMAND_ERROR_IS_FATAL ANY)
