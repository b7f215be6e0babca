# Runs the asset generator into OUT and compares every file with the committed ones in SRC.
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${GEN}" "${OUT}" RESULT_VARIABLE Rc)
if(NOT Rc EQUAL 0)
  message(FATAL_ERROR "generator failed: ${Rc}")
endif()
foreach(Name about.bmp tray.ico tray-22.png tray-24.png tray-32.png tray-48.png query.ico quorvex.ico
             quorvex.png)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${OUT}/${Name}" "${SRC}/${Name}"
                  RESULT_VARIABLE Diff)
  if(NOT Diff EQUAL 0)
    message(FATAL_ERROR "${Name} differs from the generator's output; run quorvex-assets app/assets")
  endif()
endforeach()
