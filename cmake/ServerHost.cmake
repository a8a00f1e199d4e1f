# The download server's host name is the one deployment value of the
# product; scheme, port and path are fixed in the code.
set(INSTALLER_SERVER_HOST "" CACHE STRING "Host name of the download server, for example downloads.example.com")

if(INSTALLER_SERVER_HOST STREQUAL "")
    message(FATAL_ERROR
        "INSTALLER_SERVER_HOST is not set. Give the download server's host name, "
        "for example: cmake --preset release -DINSTALLER_SERVER_HOST=downloads.example.com "
        "(or run scripts/build downloads.example.com).")
endif()

set(_label "[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?")
if(NOT INSTALLER_SERVER_HOST MATCHES "^${_label}(\\.${_label})*$")
    message(FATAL_ERROR
        "INSTALLER_SERVER_HOST='${INSTALLER_SERVER_HOST}' is not a host name: give the name alone, "
        "without scheme, port or path (for example downloads.example.com).")
endif()

# Optional: the exact common name of the setup's signer certificate. Empty
# accepts any signature that the system trusts.
set(INSTALLER_SETUP_PUBLISHER "" CACHE STRING "Signer common name that the setup must carry (empty: any trusted signer)")
if(INSTALLER_SETUP_PUBLISHER MATCHES "[\"\\]")
    message(FATAL_ERROR "INSTALLER_SETUP_PUBLISHER must not contain quotes or backslashes.")
endif()
# The installer reads the signer's name in the customer's ANSI code page,
# where a name outside printable ASCII does not come out as the pin's bytes.
if(INSTALLER_SETUP_PUBLISHER MATCHES "[^ -~]")
    message(FATAL_ERROR "INSTALLER_SETUP_PUBLISHER='${INSTALLER_SETUP_PUBLISHER}' holds characters outside "
        "printable ASCII, which the installer would not match on customers' systems. Give the name in plain ASCII.")
endif()

# Optional, with a pinned publisher: the version the installer is released
# with. It never installs a setup older than that, whatever a manifest offers.
set(INSTALLER_VERSION_FLOOR "" CACHE STRING "The release's version, a.b.c.d, below which no setup installs (empty: none)")
if(NOT INSTALLER_VERSION_FLOOR MATCHES "^[0-9.]*$")
    message(FATAL_ERROR "INSTALLER_VERSION_FLOOR='${INSTALLER_VERSION_FLOOR}' is not four numbers with dots (1.4.14.816).")
endif()

# Optional, with a pinned publisher: the RSA public key (PEM) of the
# publisher's code-signing certificate. The installer then acts only on a
# manifest signed with it.
set(INSTALLER_MANIFEST_KEY "" CACHE FILEPATH "PEM file of the RSA public key that manifests must be signed with (empty: none)")

configure_file(${CMAKE_CURRENT_LIST_DIR}/InstallerConfig.h.in ${CMAKE_BINARY_DIR}/generated/InstallerConfig.h @ONLY)
