# Link rules checked when the build is generated.
#
# The tunnel engine (tunnel_engine) and the desktop client's API library
# (tunnel_api_user) both define a class spelt tunnel::Forward. The engine's
# sits in the inline namespace tunnel::engine, so their symbols differ, but a
# program has no use for both, and one that links both is a mistake of the
# build: gt_forbid_linking_together(tunnel_engine tunnel_api_user) fails the
# configuration naming every target that would link the two.

# The targets a target links, directly or through others, itself included.
# Link items that are not targets (system libraries, flags) are left out;
# $<LINK_ONLY:x> (a static library's private dependency) counts as x.
function(gt_linked_targets out target)
    set(seen "")
    set(queue ${target})
    while(queue)
        list(POP_FRONT queue current)
        if(NOT TARGET "${current}")
            continue()
        endif()
        get_target_property(aliased "${current}" ALIASED_TARGET)
        if(aliased)
            set(current "${aliased}")
        endif()
        if(current IN_LIST seen)
            continue()
        endif()
        list(APPEND seen "${current}")
        set(items "")
        foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
            get_target_property(value "${current}" ${property})
            if(value)
                list(APPEND items ${value})
            endif()
        endforeach()
        foreach(item IN LISTS items)
            if(item MATCHES "^\\$<LINK_ONLY:(.+)>$")
                set(item "${CMAKE_MATCH_1}")
            endif()
            # "::@(directory)" marks items linked from another directory.
            if(item MATCHES "^::@")
                continue()
            endif()
            list(APPEND queue "${item}")
        endforeach()
    endwhile()
    set(${out} "${seen}" PARENT_SCOPE)
endfunction()

# Every target defined in dir and the folders below it.
function(gt_all_targets out dir)
    get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
    foreach(sub IN LISTS subdirs)
        gt_all_targets(below "${sub}")
        list(APPEND targets ${below})
    endforeach()
    set(${out} "${targets}" PARENT_SCOPE)
endfunction()

# The targets below dir that link both a and b (either of them included).
function(gt_targets_linking_both out dir a b)
    gt_all_targets(targets "${dir}")
    set(both "")
    foreach(target IN LISTS targets)
        gt_linked_targets(linked "${target}")
        if(a IN_LIST linked AND b IN_LIST linked)
            list(APPEND both "${target}")
        endif()
    endforeach()
    set(${out} "${both}" PARENT_SCOPE)
endfunction()

# Checks, once the whole project is read, that no target links both a and b.
function(gt_forbid_linking_together a b)
    # A deferred call reads its arguments' variables when it runs: write the
    # names into it now.
    cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]]
        CALL _gt_check_not_linked_together [[${a}]] [[${b}]])")
endfunction()

function(_gt_check_not_linked_together a b)
    gt_targets_linking_both(both "${CMAKE_SOURCE_DIR}" "${a}" "${b}")
    foreach(target IN LISTS both)
        message(SEND_ERROR "${target} links both ${a} and ${b}; a program takes one of them, never both.")
    endforeach()
endfunction()
