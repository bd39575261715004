# Install rules and packages: a ZIP for Windows, a .tar.gz and a .deb for Linux. The
# version comes from project(VERSION ...) alone. The manual pages in man/ are the one
# source of the manual: installed as pages on Linux, rendered as text for the ZIP.
include(GNUInstallDirs)

if(WIN32)
  # Everything at the top of the ZIP, as a Windows user unpacks and runs it; every text
  # file with a byte-order mark and CR LF, so that Notepad shows it right.
  set(zip_texts "${CMAKE_BINARY_DIR}/zip-texts")
  find_program(KORVIDAN_GROFF groff)
  set(texts)
  foreach(pair "korvidan.1|korvidan.txt" "ja/korvidan.1|korvidan-ja.txt")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 page)
    list(GET pair 1 name)
    if(KORVIDAN_GROFF)
      set(source -DMAN_PAGE=${CMAKE_SOURCE_DIR}/man/${page} -DGROFF=${KORVIDAN_GROFF})
    else()
      # Rendered and committed for machines without groff; a native test keeps it current.
      set(source -DINPUT=${CMAKE_SOURCE_DIR}/man/rendered/${name})
    endif()
    add_custom_command(OUTPUT ${zip_texts}/${name}
                       COMMAND ${CMAKE_COMMAND} ${source} -DOUTPUT=${zip_texts}/${name}
                               -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/cmake/windows_text.cmake
                       DEPENDS man/${page} man/rendered/${name} cmake/windows_text.cmake)
    list(APPEND texts ${zip_texts}/${name})
  endforeach()
  foreach(pair "packaging/windows/はじめに.txt.in|はじめに.txt" "LICENSE|LICENSE.txt")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 input)
    list(GET pair 1 name)
    add_custom_command(OUTPUT ${zip_texts}/${name}
                       COMMAND ${CMAKE_COMMAND} -DINPUT=${CMAKE_SOURCE_DIR}/${input}
                               -DOUTPUT=${zip_texts}/${name} -DVERSION=${PROJECT_VERSION}
                               -P ${CMAKE_SOURCE_DIR}/cmake/windows_text.cmake
                       DEPENDS ${input} cmake/windows_text.cmake)
    list(APPEND texts ${zip_texts}/${name})
  endforeach()
  add_custom_target(korvidan_zip_texts ALL DEPENDS ${texts})
  install(TARGETS korvidan RUNTIME DESTINATION .)
  install(FILES ${texts} DESTINATION .)
  install(DIRECTORY examples/ DESTINATION examples)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "korvidan-${PROJECT_VERSION}-windows-x86_64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  # Manual pages compressed as Debian wants them; the changelog and the machine-readable
  # copyright file beside the documentation.
  set(compressed "${CMAKE_BINARY_DIR}/compressed")
  set(gz_files)
  foreach(pair "man/korvidan.1|korvidan.1.gz" "man/ja/korvidan.1|ja/korvidan.1.gz"
               "packaging/debian/changelog|changelog.gz")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 input)
    list(GET pair 1 name)
    add_custom_command(OUTPUT ${compressed}/${name}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed}/ja
                       COMMAND ${CMAKE_COMMAND} -DINPUT=${CMAKE_SOURCE_DIR}/${input}
                               -DOUTPUT=${compressed}/${name} -P ${CMAKE_SOURCE_DIR}/cmake/gzip.cmake
                       DEPENDS ${input} cmake/gzip.cmake)
    list(APPEND gz_files ${compressed}/${name})
  endforeach()
  add_custom_target(korvidan_compressed_docs ALL DEPENDS ${gz_files})
  install(TARGETS korvidan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${compressed}/korvidan.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${compressed}/ja/korvidan.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
  install(FILES README.md ${compressed}/changelog.gz packaging/debian/copyright
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_PACKAGE_FILE_NAME "korvidan-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION text)
  # The summary is the first line of the field; CPack indents these paragraphs under it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "korvidan cuts every text file of a folder, a folder tree or a single file into
passages (runs of lines between empty lines, or any chosen number of line
breaks), tests each passage against a condition file of keyword groups (AND
across groups, OR within a group, exact byte strings) and writes every passage
either to a selection file or to a rest file, as bare text or with its line
range and file path.

It is made for Japanese texts and speaks Japanese to its user. Text files must
be UTF-8; the manual (man korvidan, in English and Japanese) says how to
convert Shift_JIS files.")
endif()

set(CPACK_PACKAGE_NAME korvidan)
set(CPACK_PACKAGE_VENDOR "korvidan developers")
set(CPACK_PACKAGE_CONTACT "korvidan developers <maintainers@korvidan.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Full-text search for Japanese UTF-8 text files, by passages and keyword groups")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")
include(CPack)
