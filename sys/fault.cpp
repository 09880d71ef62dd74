// Fault injection at the OS seam: both implementations ask SysFaultHit before each call of a
// kind that can fail, so tests and fault campaigns can make the nth such call fail.
#include "sys/sys.h"

namespace {

struct FaultRange {
    unsigned long calls;  // calls of the kind so far
    unsigned long from;   // first failing call (1-based), 0 when none fails
    unsigned long to;     // last failing call
};
FaultRange faults[SYS_FAULT_KINDS];
int endKind = -1;
unsigned long endAt;  // the call (of endKind) that ends the process, 0 when none

}  // namespace

void SysFailCalls(int kind, unsigned long nth, unsigned long count) {
    if (kind < 0 || kind >= SYS_FAULT_KINDS) return;
    FaultRange& f = faults[kind];
    if (nth == 0 || count == 0) {
        f.from = f.to = 0;
        return;
    }
    f.from = f.calls + nth;
    f.to = count > ~0ul - f.from ? ~0ul : f.from + count - 1;
}

unsigned long SysCallsMade(int kind) {
    return kind >= 0 && kind < SYS_FAULT_KINDS ? faults[kind].calls : 0;
}

void SysClearFaults(void) {
    for (FaultRange& f : faults) f.from = f.to = 0;
    endAt = 0;
}

void SysEndAtCall(int kind, unsigned long nth) {
    if (kind < 0 || kind >= SYS_FAULT_KINDS || nth == 0) {
        endAt = 0;
        return;
    }
    endKind = kind;
    endAt = faults[kind].calls + nth;
}

int SysFaultHit(int kind) {
    if (kind < 0 || kind >= SYS_FAULT_KINDS) return 0;
    FaultRange& f = faults[kind];
    unsigned long n = ++f.calls;
    if (endAt && kind == endKind && n == endAt) SysEndProcess();
    return f.from && n >= f.from && n <= f.to;
}
