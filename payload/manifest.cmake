# Writes OUT_DIR/manifest.txt, the install record Setup copies as
# install-info.txt: six CR LF lines, no byte-order mark.
#   cmake -DGIT=git -DREPO_DIR=dir -DTOOLKIT_DIR=dir -DOUT_DIR=dir -P manifest.cmake
# The file is left alone when what it records is unchanged and no archive in
# OUT_DIR is newer, so an unchanged payload does not rebuild Setup each time;
# "packed" is then the time the payload was last packed.

foreach(v REPO_DIR TOOLKIT_DIR OUT_DIR)
  if(NOT ${v})
    message(FATAL_ERROR "manifest.cmake needs -D${v}=...")
  endif()
endforeach()

# Runs git in REPO_DIR; out gets its trimmed output, or "" when git failed or is absent.
function(git out)
  set(text "")
  if(GIT)
    execute_process(COMMAND "${GIT}" ${ARGN} WORKING_DIRECTORY "${REPO_DIR}"
      RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT rc EQUAL 0)
      set(text "")
    endif()
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The first seven digits of the newest commit touching the paths (the whole
# work tree when none are given), "+modified" appended when they hold
# uncommitted changes or no commit at all; "0000000+modified" without commits.
function(commit_id out)
  if(ARGN)
    git(hash log -1 --format=%H -- ${ARGN})
  else()
    git(hash rev-parse --verify -q HEAD)
  endif()
  git(changes status --porcelain -- ${ARGN})
  if(hash MATCHES "^[0-9a-f]+$")
    string(SUBSTRING "${hash}" 0 7 id)
  else()
    set(id "0000000")
    set(changes "no commit")
  endif()
  if(NOT changes STREQUAL "")
    string(APPEND id "+modified")
  endif()
  set(${out} "${id}" PARENT_SCOPE)
endfunction()

# The address updates come from: origin without any user name or password,
# else the repository's own folder.
function(repo_address out)
  git(url remote get-url origin)
  if(url STREQUAL "")
    git(url rev-parse --show-toplevel)
    if(url STREQUAL "")
      get_filename_component(url "${REPO_DIR}" ABSOLUTE)
    endif()
  elseif(url MATCHES "^[A-Za-z][A-Za-z0-9+.-]*://")
    string(REGEX REPLACE "^([A-Za-z][A-Za-z0-9+.-]*://)[^/]*@" "\\1" url "${url}")
  else()
    # scp-like "user@host:path"
    string(REGEX REPLACE "^[^/:]*@([^/:]+:)" "\\1" url "${url}")
  endif()
  set(${out} "${url}" PARENT_SCOPE)
endfunction()

commit_id(project)
commit_id(toolkit "${TOOLKIT_DIR}")
repo_address(repo)
git(branch symbolic-ref --short -q HEAD)
if(branch STREQUAL "")
  message(WARNING "manifest.cmake: HEAD is not on a branch; branch= stays empty")
endif()

set(facts "[install]\r\nproject=${project}\r\ntoolkit=${toolkit}\r\nrepo=${repo}\r\nbranch=${branch}\r\n")
set(file "${OUT_DIR}/manifest.txt")
set(write 1)
if(EXISTS "${file}")
  file(READ "${file}" old)
  string(REGEX REPLACE "packed=[^\r\n]*\r\n$" "" old "${old}")
  if(old STREQUAL facts)
    set(write 0)
    foreach(zip project.zip toolkit.zip toolchain.zip)
      if(EXISTS "${OUT_DIR}/${zip}" AND "${OUT_DIR}/${zip}" IS_NEWER_THAN "${file}")
        set(write 1)
      endif()
    endforeach()
  endif()
endif()
if(write)
  string(TIMESTAMP packed "%Y-%m-%d %H:%M")
  file(WRITE "${file}" "${facts}packed=${packed}\r\n")
  message(STATUS "manifest.txt: project=${project} toolkit=${toolkit} branch=${branch}")
endif()
