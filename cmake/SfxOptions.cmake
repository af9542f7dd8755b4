# Compiler settings shared by every target of ours. Third-party code (googletest)
# is built without them.
add_library(sfx_options INTERFACE)
target_compile_options(sfx_options INTERFACE -Wall -Wextra -Werror -Wno-unused-parameter)

if(WIN32)
  # Unicode everywhere, no min/max macros; declarations up to Windows 7 (0x0601). What
  # older systems lack is looked up at run time, not imported.
  target_compile_definitions(sfx_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                             _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Small code: every function and datum in its own section so the linker can drop the unused.
  target_compile_options(sfx_options INTERFACE -ffunction-sections -fdata-sections)
  # Static runtime: nothing but system DLLs next to the exe.
  set(SFX_WIN_LINK -static -static-libgcc -static-libstdc++ -municode -Wl,--gc-sections
      -Wl,--dynamicbase -Wl,--nxcompat)
  target_link_options(sfx_options INTERFACE ${SFX_WIN_LINK})
  # The Windows build sees Boost through a folder that holds nothing but boost/.
  set(SFX_BOOST_DIR ${CMAKE_BINARY_DIR}/boost-include)
  if(NOT EXISTS ${SFX_BOOST_DIR}/boost)
    file(MAKE_DIRECTORY ${SFX_BOOST_DIR})
    file(CREATE_LINK /usr/include/boost ${SFX_BOOST_DIR}/boost SYMBOLIC)
  endif()
else()
  if(SFX_SANITIZE)
    target_compile_options(sfx_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all
                           -fno-omit-frame-pointer)
    target_link_options(sfx_options INTERFACE -fsanitize=address,undefined)
  endif()
endif()
