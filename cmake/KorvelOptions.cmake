# One place for the compile options every target of the project shares.
add_library(korvel_options INTERFACE)
target_compile_features(korvel_options INTERFACE cxx_std_20)
target_compile_options(korvel_options INTERFACE -Wall -Wextra)
target_compile_definitions(korvel_options INTERFACE
  # Bytes and text never convert into each other silently.
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  KORVEL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  KORVEL_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  KORVEL_VERSION_RELEASE=${PROJECT_VERSION_PATCH}
  KORVEL_VERSION_BUILD=${KORVEL_VERSION_BUILD})
