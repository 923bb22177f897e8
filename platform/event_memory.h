// The event pool's blocks and the written image for the command-line tool:
// on Linux, large blocks are asked for in huge pages. A large song's events
// are tens of megabytes touched once each; page by page, faulting them in
// was half the time of a load and save.
#pragma once

#include <cstddef>

// Asks for huge pages under the part of [data, data + length) that whole
// 2 MB pages cover. Advice only: a system without huge pages to give uses
// small ones. POSIX only.
void adviseHugePages(void* data, size_t length);

// Sets poolMemory; call before the first song is made. POSIX only: on Windows
// large pages need a privilege a desktop user does not hold.
void useLargePagesForEvents();
