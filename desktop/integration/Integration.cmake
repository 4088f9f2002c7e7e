# File-manager integration of varnex-desktop: the MIME types of our files, the launcher that
# opens them, icons, and the context-menu actions of Dolphin, Nautilus, Nemo and Caja. Every
# file names the program by its absolute installed path (a user's ~/.local/bin is often not on
# the session's PATH). Generated into build/integration/ with @VARNEX_BINDIR@ standing for
# that folder, which is known only when installing (`cmake --install --prefix`): the install
# writes the files with the real path into a staging folder of its own and installs those.

set(VARNEX_DESKTOP_EXEC "@VARNEX_BINDIR@/varnex-desktop")
set(VARNEX_MIME_TYPES "application/x-varnex-password-package;application/x-varnex-envelope;application/x-varnex-signature;application/x-varnex-mail;")
set(src ${CMAKE_SOURCE_DIR}/desktop/integration)
set(out ${CMAKE_BINARY_DIR}/integration)

# One row per action: name | label | Chinese label | shown for (ours = our files, signature =
# signature files, any = any file or folder).
set(VARNEX_ACTIONS
  "open|Decrypt or verify|解密或验证|ours"
  "verify|Verify signature|验证签名|signature"
  "pack|Pack with a password|用密码加密打包|any"
  "envelope|Encrypt for recipients|为接收者加密|any"
  "encrypt|Encrypt for myself|为自己加密|any"
  "share|Encrypt for a shared folder|共享加密|any"
  "sign|Sign|签名|any"
  "mail|Send as secure mail|作为安全邮件发送|any"
  "wipe|Wipe beyond recovery|彻底擦除|any"
  "properties|Security properties|安全属性|any")

set(dolphin_any "")
set(dolphin_ours "")
set(dolphin_any_actions "")
set(dolphin_ours_actions "")
set(VARNEX_NAUTILUS_ACTIONS "")
file(REMOVE_RECURSE ${out})
foreach(row ${VARNEX_ACTIONS})
  string(REPLACE "|" ";" f "${row}")
  list(GET f 0 action)
  list(GET f 1 label)
  list(GET f 2 label_zh)
  list(GET f 3 scope)
  set(exec "${VARNEX_DESKTOP_EXEC} ${action} -- %F")
  if(scope STREQUAL "any")
    set(mime "application/octet-stream;inode/directory;")
    set(caja_mime "all/all;")
    set(nemo_match "Extensions=any;")
  elseif(scope STREQUAL "ours")
    set(mime "${VARNEX_MIME_TYPES}")
    set(caja_mime "${VARNEX_MIME_TYPES}")
    set(nemo_match "Mimetypes=${VARNEX_MIME_TYPES}")
  else()
    set(mime "application/x-varnex-signature;")
    set(caja_mime "${mime}")
    set(nemo_match "Mimetypes=${mime}")
  endif()
  set(entry "\n[Desktop Action ${action}]\nName=${label}\nName[zh_CN]=${label_zh}\nIcon=varnex\nExec=${exec}\n")
  if(scope STREQUAL "any")
    string(APPEND dolphin_any "${entry}")
    string(APPEND dolphin_any_actions "${action};")
  else()
    string(APPEND dolphin_ours "${entry}")
    string(APPEND dolphin_ours_actions "${action};")
  endif()
  # Nemo: one action file each.
  file(WRITE ${out}/nemo/varnex-${action}.nemo_action
    "[Nemo Action]\nName=${label}\nName[zh_CN]=${label_zh}\nComment=Varnex: ${label}\nExec=${exec}\n"
    "Icon-Name=varnex\nSelection=notnone\n${nemo_match}\nQuote=double\nDependencies=${VARNEX_DESKTOP_EXEC};\n")
  # Caja and PCManFM: the file-manager actions format, one profile each.
  file(WRITE ${out}/file-manager/varnex-${action}.desktop
    "[Desktop Entry]\nType=Action\nName=${label}\nName[zh_CN]=${label_zh}\nTooltip=Varnex: ${label}\n"
    "Icon=varnex\nProfiles=files;\n\n[X-Action-Profile files]\nName=${label}\nExec=${exec}\n"
    "MimeTypes=${caja_mime}\nSelectionCount=>0\n")
  string(APPEND VARNEX_NAUTILUS_ACTIONS "    ('${action}', '${label}', '${label_zh}', '${scope}'),\n")
endforeach()
# Dolphin: two service menus, as an action shows for every file or only for ours.
file(WRITE ${out}/kio/varnex-files.desktop
  "[Desktop Entry]\nType=Service\nMimeType=application/octet-stream;inode/directory;\n"
  "Actions=${dolphin_any_actions}\nX-KDE-Submenu=Varnex\n${dolphin_any}")
file(WRITE ${out}/kio/varnex-packages.desktop
  "[Desktop Entry]\nType=Service\nMimeType=${VARNEX_MIME_TYPES}\n"
  "Actions=${dolphin_ours_actions}\nX-KDE-Submenu=Varnex\n${dolphin_ours}")
configure_file(${src}/varnex-desktop.desktop.in ${out}/varnex-desktop.desktop @ONLY)
configure_file(${src}/nautilus-varnex.py.in ${out}/nautilus/varnex.py @ONLY)

set(data ${CMAKE_INSTALL_DATADIR})
install(FILES ${src}/varnex-mime.xml DESTINATION ${data}/mime/packages RENAME varnex.xml)
install(FILES ${src}/icons/varnex.svg DESTINATION ${data}/icons/hicolor/scalable/apps)
file(GLOB mime_icons ${src}/icons/application-x-varnex-*.svg)
install(FILES ${mime_icons} DESTINATION ${data}/icons/hicolor/scalable/mimetypes)
# The generated files get the real folder written in at install time, in a staging folder of
# this install's own: two installs from one build (a packager's DESTDIR beside a user's prefix)
# never read each other's path. Dolphin runs only service menus that are executable.
install(CODE "
  set(bindir \"${CMAKE_INSTALL_BINDIR}\")
  set(datadir \"${data}\")
  foreach(dir bindir datadir)
    if(NOT IS_ABSOLUTE \"\${\${dir}}\")
      set(\${dir} \"\${CMAKE_INSTALL_PREFIX}/\${\${dir}}\")
    endif()
  endforeach()
  string(RANDOM LENGTH 8 tag)
  string(MD5 where \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  string(APPEND tag \"-\${where}\")
  set(staged \"${CMAKE_BINARY_DIR}/integration-install-\${tag}\")
  file(GLOB_RECURSE generated RELATIVE \"${out}\" \"${out}/*\")
  foreach(name \${generated})
    file(READ \"${out}/\${name}\" text)
    string(REPLACE \"@VARNEX_BINDIR@\" \"\${bindir}\" text \"\${text}\")
    file(WRITE \"\${staged}/\${name}\" \"\${text}\")
  endforeach()
  file(INSTALL \"\${staged}/varnex-desktop.desktop\" DESTINATION \"\${datadir}/applications\")
  file(INSTALL \"\${staged}/kio/\" DESTINATION \"\${datadir}/kio/servicemenus\"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  file(INSTALL \"\${staged}/nemo/\" DESTINATION \"\${datadir}/nemo/actions\")
  file(INSTALL \"\${staged}/file-manager/\" DESTINATION \"\${datadir}/file-manager/actions\")
  file(INSTALL \"\${staged}/nautilus/varnex.py\" DESTINATION \"\${datadir}/nautilus-python/extensions\")
  file(REMOVE_RECURSE \"\${staged}\")")
# The MIME and desktop databases are brought up to date where the files land, unless a packager
# stages them (DESTDIR): the package's own triggers do it on the target system.
install(CODE "
  if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
    set(share \"\${CMAKE_INSTALL_PREFIX}/${data}\")
    find_program(VARNEX_UPDATE_MIME update-mime-database)
    find_program(VARNEX_UPDATE_DESKTOP update-desktop-database)
    if(VARNEX_UPDATE_MIME)
      execute_process(COMMAND \${VARNEX_UPDATE_MIME} \"\${share}/mime\")
    else()
      message(STATUS \"update-mime-database not found: the MIME database was not updated\")
    endif()
    if(VARNEX_UPDATE_DESKTOP)
      execute_process(COMMAND \${VARNEX_UPDATE_DESKTOP} -q \"\${share}/applications\")
    else()
      message(STATUS \"update-desktop-database not found: the desktop database was not updated\")
    endif()
  endif()")
