// How the process meets what stops it from outside.
#ifndef VELMOR_INTERRUPTIONS_H
#define VELMOR_INTERRUPTIONS_H

namespace velmor {

// Called once, first thing in main. An interrupt (Ctrl+C), a request to end and the
// loss of the terminal remove every registered temporary entry (temporary_files.h)
// before the process ends as it was asked to; one that whoever started the program
// ignores stays ignored. A write past a file size limit fails as any failed write does,
// reported, instead of ending the process.
void HandleInterruptions();

} // namespace velmor

#endif
