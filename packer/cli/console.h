// What the packer asks of the console it may run in.
#ifndef VELMOR_CONSOLE_H
#define VELMOR_CONSOLE_H

namespace velmor {

// Whether standard error goes to a terminal a person watches (not a file or a pipe):
// only there is a progress line drawn.
bool StandardErrorIsTerminal();

// Called once in main, after HandleInterruptions: where the output goes to a console
// that shows text in another code page (Windows), the console is set to show the
// UTF-8 the packer writes until the process ends; files and pipes get the bytes
// unchanged, line ends included.
void PrepareConsole();

} // namespace velmor

#endif
