// The C interface of libunlha32.so, the LZH archiver library Vask loads at run time (dlopen, then dlsym of
// these two names).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Runs one archiver command and returns 0 on success, non-zero on failure (see ResultCode in
// archiver/lha/Operations.h). commandLine is either the command itself,
//     VERB [-switches] ARCHIVE [ROOT/] ["FILE" ...]
// or "@" followed by the name of a list file holding that line. A list file is read only when it is a
// regular file owned by the calling user and not writable by every user; a symbolic link, FIFO or device in
// its place fails at once (kBadCommand) without waiting. Verbs: a (add), m (move: add, then remove the
// sources once the archive is safely written), l (list), t (test), x (extract with folders under ROOT, or
// under -w=ROOT, or the current folder). Sources are reached, and extracted files written, without following
// a symbolic link in any component of their paths; m removes only the very files it read, and nothing when
// one of them changed before the archive was in place. Switches: -r (accepted), -x (store full folder paths
// without the leading "/"), -a (keep set-id and sticky bits), -m0/-m5/-m6/-m7 (method; -lh7- by default).
// A short report is written to output, cut to outputSize - 1 bytes and always NUL-terminated (nothing is
// written when output is null or outputSize is 0). window is not used. While the command runs, the
// archiver's lock is held; a command started while another process holds it fails at once.
int Unlha(void* window, const char* commandLine, char* output, unsigned long outputSize);

// 1 while another process (or another Unlha call) holds the archiver's lock, else 0.
int UnlhaGetRunning(void);

#ifdef __cplusplus
}
#endif
