# Where `make install` puts each file, relative to the prefix. The host looks
# for its library in ../lib/quorbel/ beside its own folder, so the two
# folders below move together. Read by the install rules and by uninstall.cmake.
set(QUORBEL_INSTALL_BIN bin)
set(QUORBEL_INSTALL_LIB lib/quorbel)
set(QUORBEL_INSTALL_MAN share/man/man1)
set(QUORBEL_INSTALL_BASH share/bash-completion/completions)
set(QUORBEL_INSTALL_ZSH share/zsh/site-functions)
set(QUORBEL_INSTALL_SHARE share/quorbel)
# The WeeChat plug-in finds the library in ../../quorbel/ from here.
set(QUORBEL_INSTALL_WEECHAT lib/weechat/plugins)
set(QUORBEL_INSTALLED_FILES
    ${QUORBEL_INSTALL_BIN}/quorbel
    ${QUORBEL_INSTALL_LIB}/libquorbel.so
    ${QUORBEL_INSTALL_LIB}/libzipdll.so
    ${QUORBEL_INSTALL_MAN}/quorbel.1
    ${QUORBEL_INSTALL_BASH}/quorbel
    ${QUORBEL_INSTALL_ZSH}/_quorbel
    ${QUORBEL_INSTALL_SHARE}/sample.ini
    ${QUORBEL_INSTALL_WEECHAT}/quorbel.so)
# Folders that are ours alone, removed when empty.
set(QUORBEL_INSTALLED_FOLDERS ${QUORBEL_INSTALL_LIB} ${QUORBEL_INSTALL_SHARE})
