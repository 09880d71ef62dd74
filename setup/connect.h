// The connections between the subsystems, all made in one place: the seat (who answers the
// run's questions and sees its progress) and the hooks between folders of one layer, which
// may not include each other.
#pragma once

// Puts every connection as the run needs it: the seat on the screen (natively the quiet
// seat), or the unattended seat of the answer table when unattended is set, and the hooks
// pointing at their implementations. The entry calls it once the command line is read;
// ResetRunState calls it with 0.
void ConnectRun(int unattended);
