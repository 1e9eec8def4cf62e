# Where the administrator's files go.  The package takes component zarncfg;
# kxadmin's page goes with kxadmin, which is not part of the product, so a
# plain install leaves it out.
install(FILES ${ZARN_DOC_DIR}/zarncfg.8.gz ${ZARN_DOC_DIR}/zarnctl.8.gz DESTINATION /usr/share/man/man8
        COMPONENT zarncfg)
install(FILES ${ZARN_DOC_DIR}/kxadmin.8.gz DESTINATION /opt/Varden/share/man/man8 COMPONENT hostsim
        EXCLUDE_FROM_ALL)
# Where bash-completion looks for the completion of a command by its name.
install(FILES ${ZARN_DOC_DIR}/zarncfg.bash-completion DESTINATION /usr/share/bash-completion/completions
        RENAME zarncfg COMPONENT zarncfg)
install(FILES logrotate/zarncfg DESTINATION /etc/logrotate.d COMPONENT zarncfg)
install(FILES ${ZARN_DOC_DIR}/messages.md ${ZARN_DOC_DIR}/changelog.Debian.gz debian/copyright
        DESTINATION /usr/share/doc/zarncfg COMPONENT zarncfg)
install(FILES debian/zarncfg.lintian-overrides DESTINATION /usr/share/lintian/overrides
        RENAME zarncfg COMPONENT zarncfg)
# The folders zarncfg works in; the daemons' logs share the log folder.
install(DIRECTORY DESTINATION /var/zarn/zarncfg COMPONENT zarncfg)
install(DIRECTORY DESTINATION /var/zarn/log COMPONENT zarncfg)
install(DIRECTORY DESTINATION /var/zarn/certs COMPONENT zarncfg)
# The host's lock and the run record: one run at a time, a killed one
# finished by the next.
install(DIRECTORY DESTINATION /var/zarn/run COMPONENT zarncfg)
