// Interruption of a run: SIGINT and SIGTERM are noted rather than obeyed at
// once, and the sampler looks at the note after every iteration, so that an
// interrupted run still writes its final files from the samples it has. A
// second signal of the same kind ends the process at once, as usual.
#pragma once

// Installs the handlers of SIGINT and SIGTERM.
void watchInterrupts();
// The signal that asked the run to stop, 0 while none has.
int interruptSignal();
