# Where each installed file goes, and the names the programs and packages share.
include(GNUInstallDirs)

# The two programs are also the names of the Debian packages (and install components) that hold
# them: the command line and what it needs, and the wizard with the desktop's files.
set(REELKIT_PACKAGE reelkit)
set(REELKIT_WIZARD_PACKAGE reelkit-wizard)

# The codec module and the crash symbolizer are the program's own, not for other programs or
# for users to run: a private folder beside the libraries.
set(REELKIT_PRIVATE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/reelkit)
file(RELATIVE_PATH REELKIT_PRIVATE_DIRECTORY_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR}/reelkit)

# The desktop's name for the application: its desktop entry, icon and metainfo are named by it.
set(REELKIT_APP_ID com.kestrixtolvan.Reelkit)
# The icon in the desktop's theme layout, sizes and scalable drawing alike.
set(REELKIT_ICON_DIR ${PROJECT_SOURCE_DIR}/data/icons/hicolor)

# Who answers for the packages, and where the project and its pictures (docs/) are published.
set(REELKIT_MAINTAINER
    "Reelkit maintainers <maintainers@users.noreply.c-seed-2ca8f943.example>")
set(REELKIT_HOMEPAGE "https://reelkit.kestrixtolvan.example"
    CACHE STRING "Where the project and the pictures of docs/ are published")
