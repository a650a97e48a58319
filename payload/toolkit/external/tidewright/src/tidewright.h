// Tidewright runtime (demo): what translated code calls into.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Sets up guest memory and the kernel shims; 1 on success.
int tw_runtime_init(void);
// A pointer to guest address addr inside the emulated address space.
void *tw_guest(uint32_t addr);
// Starts a guest thread at entry; its id, or 0.
uint32_t tw_thread_start(uint32_t entry, uint32_t arg);
// Opens a game file by its guest path; a handle, or 0.
uint32_t tw_file_open(const char *guest_path);
