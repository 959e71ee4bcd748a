#pragma once
// The operating system behind one seam. Everything the library asks of the system (code pages,
// version, user name, tick count, error texts, fatal stops) goes through these functions; the
// Windows build calls the real API, the Linux build a small stand-in with the same behaviour.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// System ANSI and OEM code pages, read at each use.
int ansiCodePage();
int oemCodePage();
// Tests use another ANSI code page through this override; 0 restores the system's.
void setAnsiCodePageOverride(int codePage);

// Major version of the operating system (GetVersionExA on Windows; a fixed 10 elsewhere).
int osMajorVersion();

// Name of the user of the calling thread, in the ANSI code page; empty when it cannot be had.
std::string userName();

// Milliseconds since start-up, wrapping at 2^32.
uint32_t tickCount();

// The system's message text for an error code (not trimmed); empty when the system has none.
std::string errorMessageText(uint32_t code);

// Blocks of several MB (whole texts, conversions, row tables), which are nearly always filled at
// once. The Linux build maps each in a range of its own marked for large pages, so that filling
// a 37 MB text costs a few dozen page faults instead of thousands. The Windows build has no large
// pages (they need a privilege there) and gives each block a region of its own. Both keep a few
// freed regions (KeptRegions) for the next blocks of about their size, so that a host loading
// one table after another does not have every page faulted in and cleared again. allocate and
// reallocate return null when the block cannot be had (the heap then serves it), and reallocate
// (of a large block, to a size that stays large) then leaves the block as it was. isLargeBlock
// tells a large block from a heap block; largeBlockSize gives the bytes a large block was last
// asked for, heapBlockSize the usable bytes of a heap block.
void* allocateLargeBlock(std::size_t size);
void* reallocateLargeBlock(void* block, std::size_t size);
void freeLargeBlock(void* block);
bool isLargeBlock(void* block);
std::size_t largeBlockSize(void* block);
std::size_t heapBlockSize(void* block);
// A hint that the `size` bytes at `from`, inside one allocated block, are written next: the Linux
// build has the pages among them that are not yet in memory mapped in one call, instead of one
// page fault each as the writer reaches them; the Windows build does nothing. Changes nothing
// that can be observed but time (the bytes keep their values).
void prepareToWrite(void* from, std::size_t size);
// For a process that loads one table, saves it and ends (the command-line tool): heap blocks up
// to 32 MB (the ones below the large-block size, and any a large mapping could not be had for)
// come from the heap rather than mappings of their own, and freed memory stays there, so that
// later pieces reuse pages already in memory instead of faulting in fresh ones. The Windows
// build does nothing.
void keepFreedLargeBlocks();
// Gives the freed large blocks kept for reuse back to the system (the Windows library calls it
// when it is unloaded from a process that goes on).
void releaseFreedLargeBlocks();

// Stops the process at once; used by the integrity checks that guard against programming errors.
[[noreturn]] void fatalFault(const char* what);

} // namespace platform
