// Lowering the priority of the running process, so that a long job in the
// background leaves the processor and the disk to the programs a person is
// working with.
#ifndef QUILLET_PLATFORM_PRIORITY_H_
#define QUILLET_PLATFORM_PRIORITY_H_

namespace quillet {

// Puts this process below normal processor priority and, where the system
// offers it, into the background class for disk access. Threads created
// afterwards inherit both, so this belongs before the first one is started.
// A priority that is lower already stays; a system that refuses the change
// leaves the priority as it was, which is no reason to stop working.
void LowerOwnPriority();

}  // namespace quillet

#endif  // QUILLET_PLATFORM_PRIORITY_H_
