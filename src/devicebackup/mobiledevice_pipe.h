// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A request and reply channel to a peer process on the same computer over
// two anonymous pipes. Every message is one frame: the body length as a
// signed 32-bit integer in native byte order, then the body, a property list.
// Requests go out as XML; replies may be binary or XML.
//
// The peer is given peerReadFd() (where it reads requests) and peerWriteFd()
// (where it writes replies) as decimal text; those two descriptors are made
// without close-on-exec so that a process started afterwards inherits them.
// This side's own two ends are close-on-exec and non-blocking.
//
// Every wait is bounded by the time-out (0 or less: no limit); a read or a
// write that makes progress waits again with the full limit. A reply longer
// than kMaxReplyBytes is refused. Failures are plain results (0, false, the
// null PlistCFType); after a failed exchange the channel may be out of step
// and the caller closes it.
//
// Threads: one thread uses a channel at a time.

#include "ios/plistcftype.h"

#include <QString>

class mobiledevice_pipe {
public:
    static constexpr qint32 kMaxReplyBytes = 64 * 1024 * 1024;

    explicit mobiledevice_pipe(int timeoutMs);
    ~mobiledevice_pipe();
    mobiledevice_pipe(const mobiledevice_pipe&) = delete;
    mobiledevice_pipe& operator=(const mobiledevice_pipe&) = delete;

    // Makes both pipes; true when both were made. The peer texts are set
    // either way. Call once per opening (close() first to make new pipes).
    bool create();
    // Nothing to do for pipes; true.
    bool connect();
    // Closes all four descriptors; the peer texts stay.
    void close();

    // Up to len bytes of the reply pipe; stops early on a time-out or the end
    // of the pipe. Returns how many arrived.
    int read(char* buf, int len);
    // Writes len bytes into the request pipe; returns how many went (fewer on
    // a time-out), then fsync()s when flush is set.
    int write(const char* buf, int len, bool flush);
    // One frame holding request as XML; the null value sends nothing (true).
    bool writeRequest(const PlistCFType& request);
    // One reply frame parsed; the null value on a time-out, a length of 0 or
    // less or above kMaxReplyBytes, a short body or a body that does not parse.
    PlistCFType readReponse();

    QString peerReadFd() const { return peerRead; }
    QString peerWriteFd() const { return peerWrite; }

private:
    enum class Wait { Ready, TimedOut, Failed };
    Wait waitFor(int fd, short events) const;

    int timeoutMs;
    int replyPipe[2] = { -1, -1 };   // read end (ours), write end (peer's)
    int requestPipe[2] = { -1, -1 }; // read end (peer's), write end (ours)
    QString peerRead;
    QString peerWrite;
};
