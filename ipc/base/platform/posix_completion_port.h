// POSIX only: the link between CloseIoHandle and the completion ports.
#ifndef IPC_BASE_PLATFORM_POSIX_COMPLETION_PORT_H_
#define IPC_BASE_PLATFORM_POSIX_COMPLETION_PORT_H_

namespace ipcbase::platform {

// If fd is associated with a completion port, completes its outstanding
// operations there with kErrorOperationAborted, removes it from the port's
// epoll set and forgets the association. Must run before the descriptor is
// closed, so that a later descriptor with the same number is never taken for
// this one.
void DetachFromCompletionPort(int fd);

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_POSIX_COMPLETION_PORT_H_
