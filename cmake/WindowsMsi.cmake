# Makes the Windows Installer package, kvd62-capture-VERSION-win64.msi, with
# wixl (Debian's msitools). Run by the build's "msi" target:
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DVERSION=... -DOUTPUT=... -P WindowsMsi.cmake
# It installs the build into a staging folder (the same files as the NSIS
# installer: cmake --install), then writes the package description (.wxs)
# from what landed there, one component per file, so that whatever Qt
# libraries and plug-ins the build brings are in the package.
#
# The package installs for all users by default (ALLUSERS=2 with
# MSIINSTALLPERUSER left empty: C:\Program Files\kvd62-capture, the common
# Start menu), which is what Group Policy and Intune deploy. With
# MSIINSTALLPERUSER=1 it installs for the current user only, without
# administrator rights (Windows Installer 5's single package authoring):
# %LOCALAPPDATA%\Programs\kvd62-capture, the user's Start menu, HKCU.
# ADDTOPATH=1 adds its bin folder, which holds only the two launchers, to PATH
# (the system's when for all users, the user's when for one); uninstalling
# removes it again. The choice is kept in the registry and read back by the
# next version's package, so an upgrade keeps it unless ADDTOPATH is given.
# A major upgrade cannot cross install contexts: a package run in the other
# context than the installed one (found in HKLM and HKCU) refuses, naming the
# MSIINSTALLPERUSER setting to run it with. The Upgrade row takes in the same
# version too, so a rebuilt package replaces the one installed.
cmake_minimum_required(VERSION 3.25)
foreach(variable BUILD_DIR SOURCE_DIR VERSION OUTPUT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "WindowsMsi.cmake: -D${variable}= is missing")
    endif()
endforeach()

find_program(WIXL wixl)
if(NOT WIXL)
    message(FATAL_ERROR "wixl is missing: install Debian's wixl package (msitools), "
                        "as scripts/windows.sh does")
endif()
# The name of the package description's XML namespace, which wixl requires, as
# the installed wixl's own descriptions spell it (wixl-data); nothing is fetched.
file(GLOB wixl_descriptions "/usr/share/wixl-*/include/*.wxi")
foreach(description IN LISTS wixl_descriptions)
    file(STRINGS "${description}" namespace_line REGEX "xmlns=\"[^\"]+\"" LIMIT_COUNT 1)
    if(namespace_line MATCHES "xmlns=\"([^\"]+)\"")
        set(wix_namespace "${CMAKE_MATCH_1}")
        break()
    endif()
endforeach()
if(NOT wix_namespace)
    message(FATAL_ERROR "the installed wixl's descriptions (/usr/share/wixl-*/include, "
                        "Debian's wixl-data package) were not found: install wixl")
endif()

get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
set(stage "${output_dir}/msi-stage")
file(REMOVE_RECURSE "${stage}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${stage}"
                OUTPUT_QUIET RESULT_VARIABLE installed)
if(NOT installed EQUAL 0)
    message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed (${installed})")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
list(SORT files)
foreach(needed bin/kvd62-capture.exe bin/kvd62-capture.com program/kvd62-capture.exe
               program/kvd62-capture.com LICENSE.txt)
    if(NOT needed IN_LIST files)
        message(FATAL_ERROR "the install tree in ${stage} has no ${needed}")
    endif()
endforeach()

# Fixed for good: Windows Installer knows every version of the program by it,
# so a newer package replaces an older one (MajorUpgrade below).
set(upgrade_code "5C0E6B0A-3D57-4E0B-9B7C-62A1C4F3D0B2")
# Component codes are derived from the file's path, so they stay the same from
# one build to the next, as Windows Installer's component rules ask.
set(namespace "9D2F6E53-1B7A-4C8E-8E0D-6A4B3C2D1E0F")

function(identifier prefix path result)
    string(MAKE_C_IDENTIFIER "${path}" name)
    string(LENGTH "${name}" length)
    if(length GREATER 60)
        string(MD5 hash "${path}")
        string(SUBSTRING "${hash}" 0 16 hash)
        set(name "h${hash}")
    endif()
    set(${result} "${prefix}${name}" PARENT_SCOPE)
endfunction()

function(xml_escape text result)
    string(REPLACE "&" "&amp;" text "${text}")
    string(REPLACE "<" "&lt;" text "${text}")
    string(REPLACE ">" "&gt;" text "${text}")
    string(REPLACE "\"" "&quot;" text "${text}")
    set(${result} "${text}" PARENT_SCOPE)
endfunction()

# The folders below the install folder, each with the files directly in it.
set(directories ".")
foreach(file IN LISTS files)
    get_filename_component(dir "${file}" DIRECTORY)
    if(dir STREQUAL "")
        set(dir ".")
    endif()
    # Every folder on the way, so that each nests in its parent.
    set(walk "${dir}")
    while(NOT walk STREQUAL "." AND NOT walk STREQUAL "")
        list(APPEND directories "${walk}")
        get_filename_component(walk "${walk}" DIRECTORY)
    endwhile()
endforeach()
list(REMOVE_DUPLICATES directories)
list(SORT directories)

set(program "program/kvd62-capture.exe")
identifier(c_ "${program}" program_component)

# Writes the <Directory> element for DIR (relative to the install folder), its
# files' components and its subfolders, into the variable wxs.
function(write_directory dir indent)
    set(text "")
    if(dir STREQUAL ".")
        set(dir_id INSTALLDIR)
    else()
        identifier(d_ "${dir}" dir_id)
        get_filename_component(name "${dir}" NAME)
        xml_escape("${name}" name)
        string(APPEND text "${indent}<Directory Id=\"${dir_id}\" Name=\"${name}\">\n")
        string(APPEND indent "  ")
    endif()
    foreach(file IN LISTS files)
        get_filename_component(file_dir "${file}" DIRECTORY)
        if(file_dir STREQUAL "")
            set(file_dir ".")
        endif()
        if(NOT file_dir STREQUAL dir)
            continue()
        endif()
        identifier(c_ "${file}" component_id)
        identifier(f_ "${file}" file_id)
        string(UUID guid NAMESPACE ${namespace} NAME "${file}" TYPE SHA1 UPPER)
        get_filename_component(name "${file}" NAME)
        xml_escape("${name}" name)
        xml_escape("msi-stage/${file}" source)
        string(APPEND text "${indent}<Component Id=\"${component_id}\" Guid=\"${guid}\" Win64=\"yes\">\n")
        string(APPEND text "${indent}  <File Id=\"${file_id}\" Name=\"${name}\" Source=\"${source}\" KeyPath=\"yes\"/>\n")
        if(file STREQUAL program)
            # Where it went, for a later repair or uninstall (see USERINSTALLDIR).
            string(APPEND text "${indent}  <RegistryValue Root=\"HKMU\" Key=\"Software\\kvd62-capture\" Name=\"InstallDir\"\n")
            string(APPEND text "${indent}                 Type=\"string\" Value=\"[INSTALLDIR]\"/>\n")
            # The Start menu entry, on the program's component so that it goes with it.
            string(APPEND text "${indent}  <Shortcut Id=\"StartMenuEntry\" Directory=\"ProgramMenuFolder\" Name=\"KVD62 screen capture\"\n")
            string(APPEND text "${indent}            Description=\"Screenshots from a KVD62 handheld instrument\"\n")
            string(APPEND text "${indent}            Target=\"[#${file_id}]\" WorkingDirectory=\"${dir_id}\" Advertise=\"no\"/>\n")
        endif()
        string(APPEND text "${indent}</Component>\n")
    endforeach()
    foreach(sub IN LISTS directories)
        if(sub STREQUAL ".")
            continue()
        endif()
        get_filename_component(parent "${sub}" DIRECTORY)
        if(parent STREQUAL "")
            set(parent ".")
        endif()
        if(parent STREQUAL dir)
            set(wxs_saved "${wxs}")
            set(wxs "")
            write_directory("${sub}" "${indent}")
            string(APPEND text "${wxs}")
            set(wxs "${wxs_saved}")
        endif()
    endforeach()
    if(NOT dir STREQUAL ".")
        string(SUBSTRING "${indent}" 2 -1 indent)
        string(APPEND text "${indent}</Directory>\n")
    endif()
    set(wxs "${wxs}${text}" PARENT_SCOPE)
endfunction()

set(wxs "")
write_directory("." "            ")
set(tree "${wxs}")

set(component_refs "")
foreach(file IN LISTS files)
    identifier(c_ "${file}" component_id)
    string(APPEND component_refs "      <ComponentRef Id=\"${component_id}\"/>\n")
endforeach()

# Whether this install is for the current user only: MSIINSTALLPERUSER=1
# counts only with ALLUSERS=2 (the package's own value); ALLUSERS=1 on the
# command line means all users whatever else is said.
set(per_user "MSIINSTALLPERUSER = 1 AND ALLUSERS <> 1")
xml_escape("${per_user}" per_user_xml)

file(WRITE "${output_dir}/kvd62-capture.wxs" "<?xml version=\"1.0\" encoding=\"utf-8\"?>
<!-- Written by cmake/WindowsMsi.cmake from the install tree; edit that, not this. -->
<Wix xmlns=\"${wix_namespace}\">
  <Product Id=\"*\" Name=\"KVD62 screen capture\" Manufacturer=\"kvd62-capture\"
           Version=\"${VERSION}\" UpgradeCode=\"${upgrade_code}\" Language=\"1033\" Codepage=\"1252\">
    <Package InstallerVersion=\"500\" Compressed=\"yes\" Languages=\"1033\" SummaryCodepage=\"1252\"
             Description=\"KVD62 screen capture ${VERSION}\"
             Comments=\"Screenshots from a KVD62 handheld instrument over its serial cable\"/>
    <Media Id=\"1\" Cabinet=\"kvd62.cab\" EmbedCab=\"yes\"/>
    <!-- Every build has a ProductCode of its own: a rebuild of the installed
         version replaces it too (the Upgrade row's maximum is made inclusive
         below, with msibuild). -->
    <MajorUpgrade DowngradeErrorMessage=\"A newer version of KVD62 screen capture is already installed.\"/>

    <!-- For all users unless MSIINSTALLPERUSER=1 (Windows Installer 5). -->
    <Property Id=\"ALLUSERS\" Value=\"2\"/>
    <Icon Id=\"kvd62_capture.ico\" SourceFile=\"msi-stage.ico\"/>
    <Property Id=\"ARPPRODUCTICON\" Value=\"kvd62_capture.ico\"/>
    <Property Id=\"ARPNOMODIFY\" Value=\"1\"/>

    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">
      <Directory Id=\"ProgramFiles64Folder\">
        <Directory Id=\"INSTALLDIR\" Name=\"kvd62-capture\">
${tree}
          <!-- The PATH entries; each also remembers the choice for an upgrade. -->
          <Component Id=\"PathForAllUsers\" Guid=\"1F6E2A4C-8B3D-4E5F-9A7B-2C1D0E3F4A51\" Win64=\"yes\">
            <CreateFolder/>
            <RegistryValue Root=\"HKLM\" Key=\"Software\\kvd62-capture\" Name=\"AddToPath\" Type=\"string\" Value=\"1\"/>
          </Component>
          <Component Id=\"PathForThisUser\" Guid=\"7A3B9C2D-4E5F-4061-8172-93A4B5C6D7E8\" Win64=\"yes\">
            <CreateFolder/>
            <RegistryValue Root=\"HKCU\" Key=\"Software\\kvd62-capture\" Name=\"AddToPath\" Type=\"string\" Value=\"1\"/>
          </Component>
        </Directory>
      </Directory>
      <Directory Id=\"ProgramMenuFolder\"/>
    </Directory>

    <!-- Windows 7 and later put a per-user install's Program Files in
         %LOCALAPPDATA%\\Programs by themselves; this says so outright, for
         Windows Installers that do not (Wine's), unless INSTALLDIR was given.
         The folder is remembered (HKCU, below) so that a later repair or
         uninstall finds it without being told MSIINSTALLPERUSER=1 again. -->
    <Property Id=\"USERINSTALLDIR\">
      <RegistrySearch Id=\"RememberedUserFolder\" Root=\"HKCU\" Key=\"Software\\kvd62-capture\"
                      Name=\"InstallDir\" Type=\"raw\" Win64=\"yes\"/>
    </Property>
    <Property Id=\"MACHINEINSTALLDIR\">
      <RegistrySearch Id=\"MachineFolder\" Root=\"HKLM\" Key=\"Software\\kvd62-capture\"
                      Name=\"InstallDir\" Type=\"raw\" Win64=\"yes\"/>
    </Property>
    <!-- A major upgrade stays in the context it was installed in (Windows
         Installer finds no related product across contexts): an install of the
         other context is refused, with the property that upgrades it. -->
    <Condition Message=\"KVD62 screen capture is installed for you alone, in [USERINSTALLDIR]. To upgrade it, run this package for you alone too: msiexec /i PACKAGE MSIINSTALLPERUSER=1. To install it for all users instead, first uninstall yours (Settings, Apps).\">Installed OR NOT USERINSTALLDIR OR (${per_user_xml})</Condition>
    <Condition Message=\"KVD62 screen capture is installed for all users, in [MACHINEINSTALLDIR]. To upgrade it, run this package for all users, as an administrator, without MSIINSTALLPERUSER=1.\">Installed OR NOT MACHINEINSTALLDIR OR NOT (${per_user_xml})</Condition>

    <!-- ADDTOPATH as the installed version had it, unless given anew. -->
    <Property Id=\"MACHINEADDTOPATH\">
      <RegistrySearch Id=\"MachinePathChoice\" Root=\"HKLM\" Key=\"Software\\kvd62-capture\"
                      Name=\"AddToPath\" Type=\"raw\" Win64=\"yes\"/>
    </Property>
    <Property Id=\"USERADDTOPATH\">
      <RegistrySearch Id=\"UserPathChoice\" Root=\"HKCU\" Key=\"Software\\kvd62-capture\"
                      Name=\"AddToPath\" Type=\"raw\" Win64=\"yes\"/>
    </Property>
    <CustomAction Id=\"RememberedMachinePath\" Property=\"ADDTOPATH\" Impersonate=\"yes\"
                  Value=\"[MACHINEADDTOPATH]\"/>
    <CustomAction Id=\"RememberedUserPath\" Property=\"ADDTOPATH\" Impersonate=\"yes\"
                  Value=\"[USERADDTOPATH]\"/>
    <CustomAction Id=\"PerUserFolder\" Property=\"INSTALLDIR\" Impersonate=\"yes\"
                  Value=\"[LocalAppDataFolder]Programs\\kvd62-capture\\\"/>
    <CustomAction Id=\"InstalledUserFolder\" Property=\"INSTALLDIR\" Impersonate=\"yes\"
                  Value=\"[USERINSTALLDIR]\"/>
    <!-- Numbered: between AppSearch (50), whose finds they use, and
         LaunchConditions (100). -->
    <InstallExecuteSequence>
      <Custom Action=\"InstalledUserFolder\" Sequence=\"51\">Installed AND ALLUSERS &lt;&gt; 1 AND USERINSTALLDIR AND NOT INSTALLDIR</Custom>
      <Custom Action=\"PerUserFolder\" Sequence=\"52\">${per_user_xml} AND NOT INSTALLDIR</Custom>
      <Custom Action=\"RememberedMachinePath\" Sequence=\"53\">NOT Installed AND NOT ADDTOPATH AND MACHINEADDTOPATH AND NOT (${per_user_xml})</Custom>
      <Custom Action=\"RememberedUserPath\" Sequence=\"54\">NOT Installed AND NOT ADDTOPATH AND USERADDTOPATH AND (${per_user_xml})</Custom>
    </InstallExecuteSequence>
    <InstallUISequence>
      <Custom Action=\"InstalledUserFolder\" Sequence=\"51\">Installed AND ALLUSERS &lt;&gt; 1 AND USERINSTALLDIR AND NOT INSTALLDIR</Custom>
      <Custom Action=\"PerUserFolder\" Sequence=\"52\">${per_user_xml} AND NOT INSTALLDIR</Custom>
      <Custom Action=\"RememberedMachinePath\" Sequence=\"53\">NOT Installed AND NOT ADDTOPATH AND MACHINEADDTOPATH AND NOT (${per_user_xml})</Custom>
      <Custom Action=\"RememberedUserPath\" Sequence=\"54\">NOT Installed AND NOT ADDTOPATH AND USERADDTOPATH AND (${per_user_xml})</Custom>
    </InstallUISequence>

    <Feature Id=\"Program\" Title=\"KVD62 screen capture\" Level=\"1\" Absent=\"disallow\">
${component_refs}      <ComponentRef Id=\"PathForAllUsers\"/>
      <ComponentRef Id=\"PathForThisUser\"/>
    </Feature>
  </Product>
</Wix>
")

# wixl takes its sources by relative path only.
file(COPY_FILE "${SOURCE_DIR}/packaging/kvd62-capture.ico" "${output_dir}/msi-stage.ico")
file(REMOVE "${OUTPUT}")
execute_process(COMMAND "${WIXL}" --arch x64 -o "${OUTPUT}" kvd62-capture.wxs
                WORKING_DIRECTORY "${output_dir}" RESULT_VARIABLE built)
if(NOT built EQUAL 0 OR NOT EXISTS "${OUTPUT}")
    message(FATAL_ERROR "wixl could not make ${OUTPUT} from ${output_dir}/kvd62-capture.wxs")
endif()
# What this wixl cannot say: the registry root HKMU, the PATH entries (the Environment table, with the
# standard actions that write and remove them) and the conditions of their
# components. "=-" sets the entry on install and takes it out on uninstall,
# "*" makes it the system's; "[~];" appends to what is there.
find_program(MSIBUILD msibuild)
if(NOT MSIBUILD)
    message(FATAL_ERROR "msibuild is missing: install Debian's msitools package")
endif()
file(WRITE "${output_dir}/Environment.idt"
     "Environment\tName\tValue\tComponent_\n"
     "s72\tl255\tL255\ts72\n"
     "Environment\tEnvironment\n"
     "PathAllUsers\t=-*PATH\t[~];[INSTALLDIR]bin\tPathForAllUsers\n"
     "PathThisUser\t=-PATH\t[~];[INSTALLDIR]bin\tPathForThisUser\n")
execute_process(
    COMMAND "${MSIBUILD}" "${OUTPUT}" -i Environment.idt
        -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RemoveEnvironmentStrings', 3300)"
        -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('WriteEnvironmentStrings', 5200)"
        -q "UPDATE `Component` SET `Condition` = '(ADDTOPATH = 1 AND NOT (${per_user})) OR REMOVE ~= \"ALL\"' WHERE `Component` = 'PathForAllUsers'"
        -q "UPDATE `Component` SET `Condition` = '(ADDTOPATH = 1 AND ${per_user}) OR REMOVE ~= \"ALL\"' WHERE `Component` = 'PathForThisUser'"
        # A rebuild of the installed version replaces it (its own ProductCode):
        # the upgrade's maximum version is inclusive (msidbUpgradeAttributes-
        # VersionMaxInclusive, 512, with MigrateFeatures, 1), which this wixl's
        # MajorUpgrade cannot say.
        # (Attributes is part of the row's key: the row is made anew.)
        -q "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'"
        -q "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('{${upgrade_code}}', '${VERSION}', 513, 'WIX_UPGRADE_DETECTED')"
        # HKMU (HKCU per user, HKLM for all) is -1; this wixl writes 4.
        -q "UPDATE `Registry` SET `Root` = -1 WHERE `Component_` = '${program_component}'"
        # The public properties a user may set, and those the searches find,
        # reach the part of the install that runs elevated only when listed here
        # (Restricted Public Properties): else ADDTOPATH=1 or INSTALLDIR= given by
        # a standard user who elevates would be dropped there.
        -q "UPDATE `Property` SET `Value` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;ADDTOPATH;INSTALLDIR;USERINSTALLDIR;MACHINEINSTALLDIR;USERADDTOPATH;MACHINEADDTOPATH' WHERE `Property` = 'SecureCustomProperties'"
    WORKING_DIRECTORY "${output_dir}" RESULT_VARIABLE amended)
if(NOT amended EQUAL 0)
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR "msibuild could not add the PATH entries to ${OUTPUT}")
endif()

list(LENGTH files count)
message(STATUS "made ${OUTPUT} (${count} files)")
