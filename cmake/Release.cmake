# What ships, as users get it (SPELVANE_RELEASE):
#   ship/  spelvane.exe, spelvane-cli.exe, the package's folder action
#          spelvane-folder-action.dll and the simulated qzsd7.dll, stripped,
#          each with its debug info in <file>.debug (found through the debug
#          link), and the simulator's configurations beside the library;
#   dist   the operator's zip, the Windows Installer package and the
#          SHA256SUMS of both, made only after the import check passed.
if(NOT WIN32 OR NOT SPELVANE_MINGW_THREADS STREQUAL "win32")
  # The posix thread model links winpthreads, which Windows 2000 cannot load.
  message(FATAL_ERROR "SPELVANE_RELEASE needs -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32-release.cmake")
endif()

find_program(SPELVANE_OBJCOPY NAMES ${SPELVANE_MINGW_PREFIX}-objcopy REQUIRED)
set(SPELVANE_SHIP_DIR ${CMAKE_BINARY_DIR}/ship)
file(MAKE_DIRECTORY ${SPELVANE_SHIP_DIR})

set(shipped_binaries)
function(spelvane_ship target file)
  set(out ${SPELVANE_SHIP_DIR}/${file})
  # objcopy stamps its output with the time it runs unless given one: 0, as
  # the linker leaves it (CompilerOptions.cmake).
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${SPELVANE_OBJCOPY})
  add_custom_command(OUTPUT ${out} ${out}.debug
    COMMAND ${objcopy} --only-keep-debug $<TARGET_FILE:${target}> ${out}.debug
    COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${out}.debug $<TARGET_FILE:${target}> ${out}
    DEPENDS ${target}
    COMMENT "Stripping ${file} into ship/"
    VERBATIM)
  set(shipped_binaries ${shipped_binaries} ${out} PARENT_SCOPE)
endfunction()
spelvane_ship(spelvane spelvane.exe)
spelvane_ship(spelvane-cli spelvane-cli.exe)
spelvane_ship(qzsd7 qzsd7.dll)
spelvane_ship(spelvane-folder-action spelvane-folder-action.dll)

# Text for the operator gets CR LF line ends: Notepad shows nothing else.
foreach(conf qzsim.conf pair.conf)
  configure_file(${CMAKE_SOURCE_DIR}/sim/${conf} ${SPELVANE_SHIP_DIR}/${conf} @ONLY NEWLINE_STYLE CRLF)
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/docs/operator-readme.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/docs/site.md ${CMAKE_BINARY_DIR}/site.md @ONLY NEWLINE_STYLE CRLF)
# cmd reads a batch file of LF lines wrongly around labels and long lines.
configure_file(${CMAKE_SOURCE_DIR}/app/console/spelvane-sync.cmd ${SPELVANE_SHIP_DIR}/spelvane-sync.cmd
  @ONLY NEWLINE_STYLE CRLF)

add_custom_target(ship ALL DEPENDS ${shipped_binaries})

# The simulated library goes only into demo/: beside the real programs it
# would stand in for the reader's own qzsd7.dll. dist packs on every build:
# the zip is dated from the last commit, which can change with no file here.
#
# The programs are released from released/: copies of ship/, signed there
# when SPELVANE_SIGN_PKCS12 and SPELVANE_SIGN_PASSWORD name a certificate
# (cmake/sign_release.sh), so that the zip and the package carry the same
# bytes. The package (packaging/spelvane.wxs, cmake/build_msi.py) is signed
# after it is built; SHA256SUMS lists both once all signing is done.
find_program(SPELVANE_PYTHON NAMES python3 REQUIRED)
# The full version: a package names the build it installs, and uninstalling
# by the file needs the very file that installed.
set(SPELVANE_PACKAGE spelvane-${PROJECT_VERSION}-win32)
set(zip ${CMAKE_BINARY_DIR}/${SPELVANE_PACKAGE}.zip)
set(msi ${CMAKE_BINARY_DIR}/${SPELVANE_PACKAGE}.msi)
set(released ${CMAKE_BINARY_DIR}/released)
set(check ${CMAKE_SOURCE_DIR}/tests/shipped/check_imports.sh)
set(sign bash ${CMAKE_SOURCE_DIR}/cmake/sign_release.sh ${CMAKE_SOURCE_DIR})
set(contents README.txt=${CMAKE_BINARY_DIR}/README.txt site.md=${CMAKE_BINARY_DIR}/site.md)
foreach(file spelvane.exe spelvane-cli.exe)
  list(APPEND contents ${file}=${released}/${file} demo/${file}=${released}/${file})
endforeach()
list(APPEND contents spelvane-sync.cmd=${SPELVANE_SHIP_DIR}/spelvane-sync.cmd)
foreach(file spelvane-sync.cmd qzsd7.dll qzsim.conf pair.conf)
  list(APPEND contents demo/${file}=${SPELVANE_SHIP_DIR}/${file})
endforeach()
# The packages of an earlier build (another version, so another name) go:
# the folder holds the one zip and package its SHA256SUMS lists.
add_custom_target(dist
  COMMAND bash ${check} ${shipped_binaries}
  COMMAND bash -c [[cd "$0" && rm -rf spelvane-*-win32.zip spelvane-*-win32.msi spelvane-*-win32.msi.*]]
    ${CMAKE_BINARY_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${released}
  COMMAND ${CMAKE_COMMAND} -E copy ${SPELVANE_SHIP_DIR}/spelvane.exe ${SPELVANE_SHIP_DIR}/spelvane-cli.exe
    ${SPELVANE_SHIP_DIR}/spelvane-folder-action.dll ${released}
  COMMAND ${sign} ${released}/spelvane.exe ${released}/spelvane-cli.exe ${released}/spelvane-folder-action.dll
  COMMAND ${SPELVANE_PYTHON} ${CMAKE_SOURCE_DIR}/cmake/pack_release.py
    ${CMAKE_SOURCE_DIR} ${zip} ${SPELVANE_PACKAGE} ${contents}
  COMMAND ${SPELVANE_PYTHON} ${CMAKE_SOURCE_DIR}/cmake/build_msi.py
    ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/packaging/spelvane.wxs ${msi} ${PROJECT_VERSION}
    Dialog=${released}/spelvane.exe Console=${released}/spelvane-cli.exe
    FolderAction=${released}/spelvane-folder-action.dll
    ReadMe=${CMAKE_BINARY_DIR}/README.txt SiteGuide=${CMAKE_BINARY_DIR}/site.md SyncScript=${SPELVANE_SHIP_DIR}/spelvane-sync.cmd Icon=${CMAKE_SOURCE_DIR}/app/win32/spelvane.ico
  COMMAND ${sign} ${msi}
  COMMAND bash -c [[cd "$0" && sha256sum "$1" "$2" >SHA256SUMS]]
    ${CMAKE_BINARY_DIR} ${SPELVANE_PACKAGE}.zip ${SPELVANE_PACKAGE}.msi
  DEPENDS ${shipped_binaries} ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/site.md
  BYPRODUCTS ${zip} ${msi} ${CMAKE_BINARY_DIR}/SHA256SUMS
  COMMENT "Checking the imports, packing ${SPELVANE_PACKAGE}.zip and ${SPELVANE_PACKAGE}.msi"
  VERBATIM)
