# Writes OUT_DIR/manifest.txt, the install record Setup copies as
# install-info.txt: six CR LF lines, no byte-order mark.
#   cmake -DGIT=git -DREPO_DIR=dir -DTOOLKIT_DIR=dir -DOUT_DIR=dir -P manifest.cmake
# The file is left alone when what it records is unchanged and no archive in
# OUT_DIR is newer, so an unchanged payload does not rebuild Setup each time;
# "packed" is then the time the payload was last packed. string(TIMESTAMP)
# takes SOURCE_DATE_EPOCH instead of the clock when it is set, so two packs
# can be compared byte for byte.
#
# The release packer (tools/pack) packs only the files git tracks, each
# checkout on its own, and adds:
#   -DTRACKED_ONLY=ON   untracked files don't count as changes: they are never packed
#   -DREMOTE_ONLY=ON    repo= names a remote or nothing: never a folder of this
#                       computer, which no player's computer has
#   -DPROJECT_EXCLUDE=a;b  folders of REPO_DIR left out of the project archive
#                          (the toolkit's), whose changes the toolkit's id carries
# A toolkit folder that is the top of a repository of its own (a submodule, or
# a separate checkout) is identified by that repository's HEAD and status.

foreach(v REPO_DIR TOOLKIT_DIR OUT_DIR)
  if(NOT ${v})
    message(FATAL_ERROR "manifest.cmake needs -D${v}=...")
  endif()
endforeach()

# Runs git in dir; out gets its trimmed output, or "" when git failed or is absent.
function(git_in dir out)
  set(text "")
  if(GIT)
    execute_process(COMMAND "${GIT}" ${ARGN} WORKING_DIRECTORY "${dir}"
      RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT rc EQUAL 0)
      set(text "")
    endif()
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Runs git in REPO_DIR.
function(git out)
  git_in("${REPO_DIR}" text ${ARGN})
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(status_options --porcelain)
if(TRACKED_ONLY)
  # Untracked files, in the checkout or inside its submodules, are never packed.
  list(APPEND status_options --untracked-files=no --ignore-submodules=untracked)
endif()

# The first seven digits of HEAD (whole) or of the newest commit touching the
# folder dir, "+modified" appended when the changes git status reports under
# the paths are not empty or there is no commit at all; "0000000+modified"
# without commits. The paths are pathspecs relative to dir (all of it when none).
function(commit_id out dir whole)
  if(whole)
    git_in("${dir}" hash rev-parse --verify -q HEAD)
  else()
    git_in("${dir}" hash log -1 --format=%H -- .)
  endif()
  git_in("${dir}" changes status ${status_options} -- ${ARGN})
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

# 1 in out when url names a folder of this computer: "file://...", a drive
# path, or a path that git tells from an scp-like "host:path" by a slash
# before the first colon (or by having no colon at all).
function(local_url url out)
  set(local 0)
  if(url MATCHES "^[Ff][Ii][Ll][Ee]://" OR url MATCHES "^[A-Za-z]:[/\\]")
    set(local 1)
  elseif(NOT url STREQUAL "" AND NOT url MATCHES "^[A-Za-z][A-Za-z0-9+.-]*://" AND NOT url MATCHES "^[^/]+:")
    set(local 1)
  endif()
  set(${out} ${local} PARENT_SCOPE)
endfunction()

# The address updates come from: origin without any user name or password,
# else the repository's own folder. With REMOTE_ONLY, an origin that is a
# folder of this computer counts as none, and none leaves the address empty.
function(repo_address out)
  git(url remote get-url origin)
  local_url("${url}" local)
  if(REMOTE_ONLY AND local)
    set(url "")
  endif()
  if(url STREQUAL "")
    if(NOT REMOTE_ONLY)
      git(url rev-parse --show-toplevel)
      if(url STREQUAL "")
        get_filename_component(url "${REPO_DIR}" ABSOLUTE)
      endif()
    endif()
  elseif(url MATCHES "^[A-Za-z][A-Za-z0-9+.-]*://")
    string(REGEX REPLACE "^([A-Za-z][A-Za-z0-9+.-]*://)[^/]*@" "\\1" url "${url}")
  else()
    # scp-like "user@host:path"
    string(REGEX REPLACE "^[^/:]*@([^/:]+:)" "\\1" url "${url}")
  endif()
  set(${out} "${url}" PARENT_SCOPE)
endfunction()

set(project_paths)
if(TRACKED_ONLY)
  set(project_paths .)
  foreach(p IN LISTS PROJECT_EXCLUDE)
    list(APPEND project_paths ":(exclude)${p}")
  endforeach()
endif()
commit_id(project "${REPO_DIR}" 1 ${project_paths})
# A toolkit with a repository of its own has its own HEAD; a toolkit folder
# inside a larger checkout is known by the last commit that touched it.
git_in("${TOOLKIT_DIR}" toolkit_top rev-parse --show-toplevel)
get_filename_component(toolkit_real "${TOOLKIT_DIR}" REALPATH)
if(NOT toolkit_top STREQUAL "")
  get_filename_component(toolkit_top "${toolkit_top}" REALPATH)
endif()
if(toolkit_top STREQUAL toolkit_real)
  commit_id(toolkit "${TOOLKIT_DIR}" 1)
else()
  commit_id(toolkit "${TOOLKIT_DIR}" 0 .)
endif()
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
