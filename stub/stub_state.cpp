#include "stub_state.h"
#include "text.h"

StubState g_stub;

void ResetStubState()
{
    ClearBytes(&g_stub, sizeof g_stub);
    g_stub.archive = INVALID_HANDLE_VALUE;
}
