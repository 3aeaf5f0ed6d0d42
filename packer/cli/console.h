// What the packer asks of the console it may run in.
#ifndef VELMOR_CONSOLE_H
#define VELMOR_CONSOLE_H

namespace velmor {

// Whether standard error goes to a terminal a person watches (not a file or a pipe):
// only there is a progress line drawn.
bool StandardErrorIsTerminal();

} // namespace velmor

#endif
