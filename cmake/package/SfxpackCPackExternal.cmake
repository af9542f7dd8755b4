# The script of CPack's External generator (SFXPACK_CPACK_SCRIPT): makes an installer
# of the install tree that CPack stages, on Linux, with no Windows machine:
#   1. wixl-heat lists the tree (every CPack component's, merged: the database installs
#      them all) into a WiX source, each file a component of its own;
#   2. the product's name, version and maker are CPACK_PACKAGE_NAME, _VERSION and
#      _VENDOR, its folder under Program Files CPACK_PACKAGE_INSTALL_DIRECTORY (the
#      Windows Installer property INSTALLDIR, which the updater sets), its upgrade code
#      CPACK_WIX_UPGRADE_GUID, as for CPack's own WiX generator;
#   3. wixl builds the database, and sfxpack packs it behind the stub (the one installed
#      with sfxpack, or CPACK_SFXPACK_STUB) into <CPACK_PACKAGE_FILE_NAME>.exe in the
#      package folder, which is replaced only by a whole installer.
# A component's GUID is a name-based UUID of its file's install path under the upgrade
# code: the same in every release that installs that file there, so that an upgrade
# replaces the file instead of orphaning it. The database also records the folder as
# InstallDir under HKLM\SOFTWARE\Corvella, where the installer's updater and its start
# of the application (<folder>\Corvella.exe) look for it.
cmake_policy(PUSH)
cmake_policy(VERSION 3.20)

# Stops cpack with the reason, its parts joined as given (a ';' in them kept).
function(_sfxpack_cpack_fail)
  set(why "")
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE ${last})
    string(APPEND why "${ARGV${i}}")
  endforeach()
  message(FATAL_ERROR "sfxpack's CPack script: ${why}")
endfunction()

# text made safe inside a double-quoted XML attribute. wixl's preprocessor takes every
# '$' for the start of a variable, even an escaped one, so what holds one is refused.
function(_sfxpack_xml out what text)
  if(text MATCHES "[$]")
    _sfxpack_cpack_fail("${what} \"${text}\" holds a '$', which wixl reads as a variable")
  endif()
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A name that Windows can give a file or folder: no reserved character, no control
# character, no trailing dot or space, no device name.
function(_sfxpack_windows_name out name)
  string(ASCII 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 control)
  string(TOUPPER "${name}" upper)
  if(name STREQUAL "" OR name MATCHES "[<>:\"\\|?*\\\\${control}]" OR name MATCHES "[. ]$" OR
     upper MATCHES "^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$")
    set(${out} FALSE PARENT_SCOPE)
  else()
    set(${out} TRUE PARENT_SCOPE)
  endif()
endfunction()

# The product's settings, checked, as variables of the caller: product_name, version,
# vendor (XML-escaped), folder (as given), upgrade_code.
macro(_sfxpack_cpack_settings)
  # CMake's expressions count no repetitions: 8-4-4-4-12 hexadecimal digits spelt out.
  string(REPEAT "[0-9A-Fa-f]" 4 _sfxpack_hex4)
  if(NOT CPACK_WIX_UPGRADE_GUID MATCHES
     "^${_sfxpack_hex4}${_sfxpack_hex4}-${_sfxpack_hex4}-${_sfxpack_hex4}-${_sfxpack_hex4}-${_sfxpack_hex4}${_sfxpack_hex4}${_sfxpack_hex4}$")
    string(UUID _sfxpack_example NAMESPACE 6ba7b810-9dad-11d1-80b4-00c04fd430c8 NAME "${CPACK_PACKAGE_NAME}"
           TYPE SHA1 UPPER)
    _sfxpack_cpack_fail("CPACK_WIX_UPGRADE_GUID must be the product's upgrade code, a GUID such as "
                        "${_sfxpack_example}, kept for every release (it is \"${CPACK_WIX_UPGRADE_GUID}\")")
  endif()
  string(TOUPPER "${CPACK_WIX_UPGRADE_GUID}" upgrade_code)
  if(NOT CPACK_PACKAGE_VERSION MATCHES "^([0-9]+)\\.([0-9]+)(\\.([0-9]+))?(\\.[0-9]+)?$" OR
     CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_4 GREATER 65535)
    _sfxpack_cpack_fail("CPACK_PACKAGE_VERSION \"${CPACK_PACKAGE_VERSION}\" is no Windows Installer version: "
                        "major.minor[.build[.revision]], numbers only, major and minor up to 255, build up to 65535")
  endif()
  set(version "${CPACK_PACKAGE_VERSION}")
  foreach(_sfxpack_setting CPACK_PACKAGE_NAME CPACK_PACKAGE_VENDOR)
    if("${${_sfxpack_setting}}" STREQUAL "")
      _sfxpack_cpack_fail("${_sfxpack_setting} is empty: the database needs the product's name and maker")
    endif()
  endforeach()
  _sfxpack_xml(product_name CPACK_PACKAGE_NAME "${CPACK_PACKAGE_NAME}")
  _sfxpack_xml(vendor CPACK_PACKAGE_VENDOR "${CPACK_PACKAGE_VENDOR}")
  set(folder "${CPACK_PACKAGE_INSTALL_DIRECTORY}")
  _sfxpack_windows_name(_sfxpack_fits "${folder}")
  if(NOT _sfxpack_fits OR folder MATCHES "/")
    _sfxpack_cpack_fail("CPACK_PACKAGE_INSTALL_DIRECTORY \"${folder}\" is no folder name that Windows allows")
  endif()
endmacro()

# The staged tree's files, relative to root and sorted, or a refusal naming the first
# that a database cannot hold.
function(_sfxpack_cpack_tree out root)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${root}" "${root}/*")
  # Sorted without case, names that Windows takes for one are neighbours.
  list(SORT entries CASE INSENSITIVE)
  set(files)
  set(previous "")
  foreach(entry IN LISTS entries)
    if(NOT EXISTS "${root}/${entry}" AND NOT IS_SYMLINK "${root}/${entry}")
      _sfxpack_cpack_fail("a name in the install tree has a semicolon or an unpaired square bracket, which "
                          "CMake lists cannot carry: ${entry}")
    elseif(IS_SYMLINK "${root}/${entry}")
      _sfxpack_cpack_fail("the install tree holds a symbolic link, which a Windows Installer database cannot: "
                          "${entry}")
    endif()
    get_filename_component(name "${entry}" NAME)
    _sfxpack_windows_name(fits "${name}")
    if(NOT fits)
      _sfxpack_cpack_fail("a name in the install tree cannot be a file name on Windows: ${entry}")
    elseif(name MATCHES "[$]")
      _sfxpack_cpack_fail("a name in the install tree holds a '$', which wixl reads as a variable: ${entry}")
    endif()
    string(TOLOWER "${entry}" lower)
    if(lower STREQUAL previous)
      _sfxpack_cpack_fail("two names in the install tree differ only in case, one file on Windows: ${entry}")
    endif()
    set(previous "${lower}")
    if(IS_DIRECTORY "${root}/${entry}")
      file(GLOB inside "${root}/${entry}/*")
      if(NOT inside)
        message(WARNING "sfxpack's CPack script: the empty folder ${entry} is left out: the database holds files")
      endif()
    else()
      list(APPEND files "${entry}")
    endif()
  endforeach()
  if(NOT files)
    _sfxpack_cpack_fail("the install tree ${root} holds no file: nothing to install")
  endif()
  set(${out} "${files}" PARENT_SCOPE)
endfunction()

# Where the install was split into components, CPack stages each in a folder of its
# own; the database installs them all, so their trees are merged (by hard links) into
# one, and a file that two components install is refused.
function(_sfxpack_cpack_merge out root merged)
  if(NOT CPACK_COMPONENTS_ALL OR CPACK_MONOLITHIC_INSTALL)
    set(${out} "${root}" PARENT_SCOPE)
    return()
  endif()
  file(MAKE_DIRECTORY "${merged}")
  foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}/${component}" "${root}/${component}/*")
    foreach(file IN LISTS files)
      if(EXISTS "${merged}/${file}" OR IS_SYMLINK "${merged}/${file}")
        _sfxpack_cpack_fail("two components install ${file}; the second is ${component}")
      endif()
      get_filename_component(folder "${merged}/${file}" DIRECTORY)
      file(MAKE_DIRECTORY "${folder}")
      file(CREATE_LINK "${root}/${component}/${file}" "${merged}/${file}" COPY_ON_ERROR)
    endforeach()
  endforeach()
  set(${out} "${merged}" PARENT_SCOPE)
endfunction()

# Identifiers that depend only on what is installed where: a component's GUID (a
# name-based UUID under the upgrade code, case-folded as Windows compares paths) and a
# folder's Id (wixl-heat draws those at random, which would make every database differ).
function(_sfxpack_component_guid out upgrade_code where)
  string(TOLOWER "${where}" where)
  string(UUID guid NAMESPACE "${upgrade_code}" NAME "${where}" TYPE SHA1 UPPER)
  set(${out} "${guid}" PARENT_SCOPE)
endfunction()

function(_sfxpack_directory_id out where)
  string(TOLOWER "${where}" where)
  string(MD5 hash "${where}")
  string(TOUPPER "${hash}" hash)
  set(${out} "dir${hash}" PARENT_SCOPE)
endfunction()

# wixl-heat's listing with those identifiers, in one pass over its lines. Square
# brackets stand in as control characters (which no name holds) while the lines are a
# CMake list. Sets count to the components seen.
function(_sfxpack_stable_ids out heat upgrade_code folder)
  string(ASCII 1 open)
  string(ASCII 2 close)
  string(REPLACE "[" "${open}" heat "${heat}\n")
  string(REPLACE "]" "${close}" heat "${heat}")
  string(REGEX MATCHALL "[^\n]*\n" lines "${heat}")
  set(result "")
  set(folders "${folder}")
  set(component "")
  set(count 0)
  foreach(line IN LISTS lines)
    if(line MATCHES "^( *<Directory Id=\")dir[0-9A-F]+(\" Name=\"([^\"]*)\">\n)$")
      list(APPEND folders "${CMAKE_MATCH_3}")
      list(JOIN folders "/" where)
      _sfxpack_directory_id(id "${where}")
      set(line "${CMAKE_MATCH_1}${id}${CMAKE_MATCH_2}")
    elseif(line MATCHES "^ *</Directory>\n$")
      list(POP_BACK folders)
    elseif(line MATCHES "^ *<Component Id=\"cmp[0-9A-F]+\" Guid=\"\\*\">\n$")
      set(component "${line}")
      continue()
    elseif(component AND line MATCHES "^ *<File Id=\"fil[0-9A-F]+\" KeyPath=\"yes\" Source=\"\\$\\(var\\.SfxpackStage\\)/(.*)\"/>\n$")
      string(REPLACE "${open}" "[" path "${CMAKE_MATCH_1}")
      string(REPLACE "${close}" "]" path "${path}")
      _sfxpack_component_guid(guid "${upgrade_code}" "${folder}/${path}")
      string(REPLACE "Guid=\"*\"" "Guid=\"${guid}\"" component "${component}")
      string(APPEND result "${component}")
      set(component "")
      math(EXPR count "${count} + 1")
    endif()
    string(APPEND result "${line}")
  endforeach()
  string(REPLACE "${open}" "[" result "${result}")
  string(REPLACE "${close}" "]" result "${result}")
  set(${out} "${result}" PARENT_SCOPE)
  set(count ${count} PARENT_SCOPE)
endfunction()

# The WiX source of the files: wixl-heat's listing of the tree, with stable
# identifiers and the names that it leaves raw escaped for XML.
function(_sfxpack_cpack_heat wxs root files upgrade_code folder)
  list(TRANSFORM files PREPEND "${root}/")
  list(JOIN files "\n" listing)
  file(WRITE "${wxs}.list" "${listing}\n")
  execute_process(COMMAND "${WIXL_HEAT}" -p "${root}/" --directory-ref INSTALLDIR --component-group ProductFiles
                          --var var.SfxpackStage
                  INPUT_FILE "${wxs}.list" OUTPUT_VARIABLE heat ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    _sfxpack_cpack_fail("wixl-heat failed (${status}): ${errors}")
  endif()
  _sfxpack_stable_ids(heat "${heat}" "${upgrade_code}" "${folder}")
  list(LENGTH files expected)
  if(NOT count EQUAL expected OR heat MATCHES "Guid=\"\\*\"")
    _sfxpack_cpack_fail("wixl-heat listed ${count} of the ${expected} files in a form this script does not know")
  endif()
  # wixl-heat writes names into attributes as they are, and of XML's specials Windows
  # allows only '&' in them; an '&' that already starts an entity is kept, should a
  # later wixl-heat escape it (only a name with an entity's text in it is then misread).
  string(REPLACE "&" "&amp;" heat "${heat}")
  string(REGEX REPLACE "&amp;(amp|lt|gt|quot|apos|#[0-9]+|#x[0-9A-Fa-f]+);" "&\\1;" heat "${heat}")
  file(WRITE "${wxs}" "${heat}")
endfunction()

# The product around the files: name, version, maker, upgrade code, the folder under
# Program Files, and the folder recorded for the installer's updater.
function(_sfxpack_cpack_product wxs)
  _sfxpack_xml(folder_xml CPACK_PACKAGE_INSTALL_DIRECTORY "${folder}")
  _sfxpack_component_guid(registry_guid "${upgrade_code}" "${folder}|HKLM\\SOFTWARE\\Corvella\\InstallDir")
  file(WRITE "${wxs}" "<?xml version=\"1.0\" encoding=\"utf-8\"?>
<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">
  <Product Id=\"*\" Name=\"${product_name}\" Language=\"1033\" Version=\"${version}\" Manufacturer=\"${vendor}\"
           UpgradeCode=\"${upgrade_code}\">
    <Package InstallerVersion=\"200\" Compressed=\"yes\" InstallScope=\"perMachine\" />
    <MajorUpgrade DowngradeErrorMessage=\"A newer version of ${product_name} is already installed.\" />
    <Media Id=\"1\" Cabinet=\"product.cab\" EmbedCab=\"yes\" />
    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">
      <Directory Id=\"ProgramFilesFolder\">
        <Directory Id=\"INSTALLDIR\" Name=\"${folder_xml}\">
          <Component Id=\"InstallDirRecord\" Guid=\"${registry_guid}\">
            <RegistryValue Root=\"HKLM\" Key=\"SOFTWARE\\Corvella\" Name=\"InstallDir\" Type=\"string\"
                           Value=\"[INSTALLDIR]\" KeyPath=\"yes\" />
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id=\"Product\" Level=\"1\">
      <ComponentRef Id=\"InstallDirRecord\" />
      <ComponentGroupRef Id=\"ProductFiles\" />
    </Feature>
  </Product>
</Wix>
")
endfunction()

function(_sfxpack_cpack_run what folder)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${folder}" RESULT_VARIABLE status OUTPUT_VARIABLE output
                  ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    _sfxpack_cpack_fail("${what} failed (${status}):\n${output}")
  endif()
endfunction()

function(_sfxpack_cpack)
  if(NOT CPACK_EXTERNAL_ENABLE_STAGING OR NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
    _sfxpack_cpack_fail("CPack staged no install tree: set CPACK_EXTERNAL_ENABLE_STAGING ON before include(CPack) "
                        "(find_package(sfxpack) does unless it is set)")
  endif()
  get_filename_component(prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
  set(sfxpack "${prefix}/bin/sfxpack")
  set(stub "${prefix}/share/sfxpack/sfxstub.exe")
  if(DEFINED CPACK_SFXPACK_STUB)
    set(stub "${CPACK_SFXPACK_STUB}")
  endif()
  if(NOT EXISTS "${stub}")
    _sfxpack_cpack_fail("no stub at ${stub}: sfxpack was installed without it; set CPACK_SFXPACK_STUB")
  endif()
  foreach(tool wixl wixl-heat)
    string(TOUPPER "${tool}" variable)
    string(REPLACE "-" "_" variable "${variable}")
    find_program(${variable} ${tool})
    if(NOT ${variable})
      _sfxpack_cpack_fail("${tool} is missing: it comes with msitools (Debian's package wixl)")
    endif()
  endforeach()
  _sfxpack_cpack_settings()

  get_filename_component(root "${CPACK_TEMPORARY_DIRECTORY}/${CPACK_PACKAGING_INSTALL_PREFIX}" ABSOLUTE)
  set(work "${CPACK_TOPLEVEL_DIRECTORY}/sfxpack")
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${work}")
  _sfxpack_cpack_merge(root "${root}" "${work}/tree")
  _sfxpack_cpack_tree(files "${root}")
  _sfxpack_cpack_heat("${work}/files.wxs" "${root}" "${files}" "${upgrade_code}" "${folder}")
  _sfxpack_cpack_product("${work}/product.wxs")
  set(msi "${work}/${CPACK_PACKAGE_FILE_NAME}.msi")
  # wixl reads a source path relative to its working folder, even an absolute one.
  _sfxpack_cpack_run(wixl "${root}" "${WIXL}" -D SfxpackStage=. -o "${msi}" "${work}/product.wxs"
                     "${work}/files.wxs")

  set(into "${CPACK_OUTPUT_FILE_PREFIX}")
  if(into STREQUAL "")
    set(into "${CPACK_PACKAGE_DIRECTORY}")
  endif()
  set(installer "${into}/${CPACK_PACKAGE_FILE_NAME}.exe")
  _sfxpack_cpack_run("sfxpack create" "${work}" "${sfxpack}" create -q --stub "${stub}" -o "${installer}" "${msi}")
  # Packed in its place already (sfxpack replaces a file only with a whole one), so
  # CPack's copy to the package folder finds nothing to do.
  set(CPACK_EXTERNAL_BUILT_PACKAGES "${installer}" PARENT_SCOPE)
endfunction()

_sfxpack_cpack()
cmake_policy(POP)
