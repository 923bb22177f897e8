// The event pool's blocks and the written image for the command-line tool:
// on Linux, large blocks are asked for in huge pages. A large song's events are tens of megabytes
// touched once each; page by page, faulting them in was half the time of a
// load and save.
#pragma once

// Sets poolMemory; call before the first song is made. POSIX only: on Windows
// large pages need a privilege a desktop user does not hold.
void useLargePagesForEvents();
