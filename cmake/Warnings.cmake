# Warnings for the project's own targets; third-party headers come in as SYSTEM includes.
function(orvane_warnings target)
  # C++ only: a Windows executable's resource script goes through windres, which takes none.
  target_compile_options(${target} PRIVATE
                         "$<$<COMPILE_LANGUAGE:CXX>:-Wall;-Wextra;-Wpedantic;-Wshadow>")
  if(ORVANE_WERROR)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Werror>)
  endif()
endfunction()
