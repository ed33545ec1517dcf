# Run by cpack before it packs: the newest changelog entry must be the version being packaged, so
# that raising the version in CMakeLists.txt without saying what changed stops here.
file(STRINGS "${CPACK_KORVO_CHANGELOG}" first LIMIT_COUNT 1)
string(REPLACE "." "\\." version "${CPACK_PACKAGE_VERSION}")
if(NOT first MATCHES "^korvo \\(${version}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with \"${first}\", but the package is version "
                      "${CPACK_PACKAGE_VERSION}: add an entry for it at the top.")
endif()
