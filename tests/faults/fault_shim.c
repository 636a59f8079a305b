/* A library preloaded into torvane by the fault tests: it makes the Nth file operation of one
 * kind fail with a chosen errno, or kills the process just before it, and counts the operations.
 *
 *   TORVANE_FAULT=<op>:<action>:<n>  op: write, fsync (with fdatasync and syncfs), rename, mkdir,
 *                                    open, or any (all five);
 *                                    action: ENOSPC, EIO, EACCES, EXDEV, or KILL (SIGKILL);
 *                                    n: 1 for the first matching call; "n+" fails that call
 *                                    and every later one.
 *   TORVANE_FAULT_DIR=<folder>       only calls on paths (or descriptors of files) inside it count,
 *                                    so standard streams, /tmp scratch files and libraries'
 *                                    own files do not shift the numbering.
 *   TORVANE_FAULT_REPORT=<file>      receives "fault <op> <path>" when the fault strikes and
 *                                    "calls write=.. fsync=.. rename=.. mkdir=.. open=.." at exit.
 *
 * The variables and LD_PRELOAD are removed from the environment at load, so child processes
 * (the Mermaid renderer) run untouched. A run longer than 60 s is ended by SIGALRM, so a hang
 * shows as a signal instead of stalling the suite.
 *
 * Streams that fopen opens for writing inside the folder are rebuilt with fopencookie around
 * the counted write: stdio's own writes bypass symbol interposition. Such a stream has no
 * descriptor (fileno gives -1); the tools' libraries (qpdf, libxlsxwriter) never ask for one.
 *
 * Under AddressSanitizer the ASan runtime must come first in LD_PRELOAD ("libasan.so.8:this"):
 * its interceptors of write and fopen then call through to these wrappers, which call libc. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

enum op { OP_WRITE, OP_FSYNC, OP_RENAME, OP_MKDIR, OP_OPEN, OP_COUNT, OP_ANY = OP_COUNT };

static const char* const k_op_names[] = {"write", "fsync", "rename", "mkdir", "open"};

static int g_ready;
static int g_target_op = -1;
static int g_action; /* an errno value, or -1 for SIGKILL */
static long g_nth;
static int g_lasting; /* the Nth call and every later one fail, as on a disk that stays full */
static long g_seen; /* matching calls so far */
static long g_calls[OP_COUNT];
static char g_scope[PATH_MAX];
static size_t g_scope_len;
static char g_report[PATH_MAX];

#define REAL(name)                        \
    static __typeof__(&name) real_##name; \
    if (real_##name == NULL) real_##name = (__typeof__(&name))dlsym(RTLD_NEXT, #name)

static int raw_open(const char* path, int flags, mode_t mode) {
    REAL(open);
    return real_open(path, flags, mode);
}

static ssize_t raw_write(int fd, const void* data, size_t size) {
    REAL(write);
    return real_write(fd, data, size);
}

static void report_line(const char* text) {
    if (g_report[0] == '\0') return;
    const int fd = raw_open(g_report, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    raw_write(fd, text, strlen(text));
    close(fd);
}

static int parse_action(const char* text) {
    if (strcmp(text, "ENOSPC") == 0) return ENOSPC;
    if (strcmp(text, "EIO") == 0) return EIO;
    if (strcmp(text, "EACCES") == 0) return EACCES;
    if (strcmp(text, "EXDEV") == 0) return EXDEV;
    if (strcmp(text, "KILL") == 0) return -1;
    return 0;
}

__attribute__((constructor)) static void load(void) {
    const char* fault = getenv("TORVANE_FAULT");
    const char* scope = getenv("TORVANE_FAULT_DIR");
    const char* report = getenv("TORVANE_FAULT_REPORT");
    if (scope == NULL || realpath(scope, g_scope) == NULL) return;
    g_scope_len = strlen(g_scope);
    if (report != NULL && strlen(report) < sizeof g_report) strcpy(g_report, report);
    if (fault != NULL) {
        char op[16] = "";
        char action[16] = "";
        char lasting = '\0';
        if (sscanf(fault, "%15[a-z]:%15[A-Z]:%ld%c", op, action, &g_nth, &lasting) >= 3 &&
            g_nth > 0) {
            g_lasting = lasting == '+';
            for (int i = 0; i < OP_COUNT; ++i) {
                if (strcmp(op, k_op_names[i]) == 0) g_target_op = i;
            }
            if (strcmp(op, "any") == 0) g_target_op = OP_ANY;
            g_action = parse_action(action);
            if (g_action == 0) g_target_op = -1;
        }
    }
    unsetenv("TORVANE_FAULT");
    unsetenv("TORVANE_FAULT_DIR");
    unsetenv("TORVANE_FAULT_REPORT");
    unsetenv("LD_PRELOAD");
    alarm(60);
    g_ready = 1;
}

__attribute__((destructor)) static void unload(void) {
    if (!g_ready) return;
    char line[256];
    snprintf(line, sizeof line, "calls write=%ld fsync=%ld rename=%ld mkdir=%ld open=%ld\n",
             g_calls[OP_WRITE], g_calls[OP_FSYNC], g_calls[OP_RENAME], g_calls[OP_MKDIR],
             g_calls[OP_OPEN]);
    report_line(line);
}

/* Whether `absolute`, after resolving the links of its folder, lies inside the scope. */
static int inside_scope(const char* absolute) {
    char resolved[PATH_MAX];
    const char* path = absolute;
    const char* slash = strrchr(absolute, '/');
    if (slash != NULL && slash != absolute) {
        char folder[PATH_MAX];
        const size_t length = (size_t)(slash - absolute);
        if (length < sizeof folder) {
            memcpy(folder, absolute, length);
            folder[length] = '\0';
            if (realpath(folder, resolved) != NULL &&
                strlen(resolved) + strlen(slash) < sizeof resolved) {
                strcat(resolved, slash);
                path = resolved;
            }
        }
    }
    return strncmp(path, g_scope, g_scope_len) == 0 &&
           (path[g_scope_len] == '/' || path[g_scope_len] == '\0');
}

static int descriptor_path(int fd, char* out, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, out, size - 1);
    if (length < 0) return 0;
    out[length] = '\0';
    return 1;
}

/* Makes `path` (relative to `dirfd`) absolute in `out`; returns 0 when it cannot. */
static int absolute_path(int dirfd, const char* path, char* out, size_t size) {
    if (path == NULL) return 0;
    if (path[0] == '/') {
        snprintf(out, size, "%s", path);
        return 1;
    }
    char base[PATH_MAX];
    if (dirfd == AT_FDCWD) {
        if (getcwd(base, sizeof base) == NULL) return 0;
    } else if (!descriptor_path(dirfd, base, sizeof base)) {
        return 0;
    }
    snprintf(out, size, "%s/%s", base, path);
    return 1;
}

static int path_in_scope(int dirfd, const char* path, char* absolute) {
    return g_ready && absolute_path(dirfd, path, absolute, PATH_MAX) && inside_scope(absolute);
}

static int fd_in_scope(int fd, char* path) {
    return g_ready && fd > STDERR_FILENO && descriptor_path(fd, path, PATH_MAX) &&
           inside_scope(path);
}

/* Counts a call of `op` on `path`; returns the errno it must fail with, or 0 to let it run. */
static int strike(int op, const char* path) {
    /* Atomic: a tool may read two files on two threads, and exactly one call must be the Nth. */
    __atomic_add_fetch(&g_calls[op], 1, __ATOMIC_SEQ_CST);
    if (g_target_op != op && g_target_op != OP_ANY) return 0;
    const long seen = __atomic_add_fetch(&g_seen, 1, __ATOMIC_SEQ_CST);
    if (seen < g_nth || (seen > g_nth && !g_lasting)) return 0;
    if (seen > g_nth) return g_action;
    char line[PATH_MAX + 32];
    snprintf(line, sizeof line, "fault %s %s\n", k_op_names[op], path);
    report_line(line);
    if (g_action < 0) kill(getpid(), SIGKILL);
    return g_action;
}

static int fail_with(int error) {
    errno = error;
    return -1;
}

/* write */

static ssize_t counted_write(int fd, const void* data, size_t size, int known_in_scope,
                             const char* known_path) {
    char path[PATH_MAX];
    if (known_in_scope || fd_in_scope(fd, path)) {
        const int error = strike(OP_WRITE, known_in_scope ? known_path : path);
        if (error) return fail_with(error);
    }
    return raw_write(fd, data, size);
}

ssize_t write(int fd, const void* data, size_t size) {
    return counted_write(fd, data, size, 0, NULL);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    REAL(pwrite);
    char path[PATH_MAX];
    if (fd_in_scope(fd, path)) {
        const int error = strike(OP_WRITE, path);
        if (error) return fail_with(error);
    }
    return real_pwrite(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
    return pwrite(fd, data, size, offset);
}

ssize_t writev(int fd, const struct iovec* parts, int count) {
    REAL(writev);
    char path[PATH_MAX];
    if (fd_in_scope(fd, path)) {
        const int error = strike(OP_WRITE, path);
        if (error) return fail_with(error);
    }
    return real_writev(fd, parts, count);
}

/* fsync */

int fsync(int fd) {
    REAL(fsync);
    char path[PATH_MAX];
    if (fd_in_scope(fd, path)) {
        const int error = strike(OP_FSYNC, path);
        if (error) return fail_with(error);
    }
    return real_fsync(fd);
}

int fdatasync(int fd) {
    REAL(fdatasync);
    char path[PATH_MAX];
    if (fd_in_scope(fd, path)) {
        const int error = strike(OP_FSYNC, path);
        if (error) return fail_with(error);
    }
    return real_fdatasync(fd);
}

int syncfs(int fd) {
    REAL(syncfs);
    char path[PATH_MAX];
    if (fd_in_scope(fd, path)) {
        const int error = strike(OP_FSYNC, path);
        if (error) return fail_with(error);
    }
    return real_syncfs(fd);
}

/* rename */

static int rename_strike(int from_dir, const char* from, int to_dir, const char* to) {
    char absolute[PATH_MAX];
    if (path_in_scope(to_dir, to, absolute) || path_in_scope(from_dir, from, absolute)) {
        return strike(OP_RENAME, absolute);
    }
    return 0;
}

int rename(const char* from, const char* to) {
    REAL(rename);
    const int error = rename_strike(AT_FDCWD, from, AT_FDCWD, to);
    return error ? fail_with(error) : real_rename(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
    REAL(renameat);
    const int error = rename_strike(from_dir, from, to_dir, to);
    return error ? fail_with(error) : real_renameat(from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
    REAL(renameat2);
    const int error = rename_strike(from_dir, from, to_dir, to);
    return error ? fail_with(error) : real_renameat2(from_dir, from, to_dir, to, flags);
}

/* mkdir */

int mkdir(const char* path, mode_t mode) {
    REAL(mkdir);
    char absolute[PATH_MAX];
    if (path_in_scope(AT_FDCWD, path, absolute)) {
        const int error = strike(OP_MKDIR, absolute);
        if (error) return fail_with(error);
    }
    return real_mkdir(path, mode);
}

int mkdirat(int dir, const char* path, mode_t mode) {
    REAL(mkdirat);
    char absolute[PATH_MAX];
    if (path_in_scope(dir, path, absolute)) {
        const int error = strike(OP_MKDIR, absolute);
        if (error) return fail_with(error);
    }
    return real_mkdirat(dir, path, mode);
}

/* open, and what opens through libc's internal open (fopen, mkstemp) */

static int open_strike(int dir, const char* path) {
    char absolute[PATH_MAX];
    return path_in_scope(dir, path, absolute) ? strike(OP_OPEN, absolute) : 0;
}

static mode_t mode_argument(int flags, va_list arguments) {
    const int takes_mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
    return takes_mode ? (mode_t)va_arg(arguments, int) : 0;
}

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = mode_argument(flags, arguments);
    va_end(arguments);
    const int error = open_strike(AT_FDCWD, path);
    return error ? fail_with(error) : raw_open(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = mode_argument(flags, arguments);
    va_end(arguments);
    const int error = open_strike(AT_FDCWD, path);
    return error ? fail_with(error) : raw_open(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    REAL(openat);
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = mode_argument(flags, arguments);
    va_end(arguments);
    const int error = open_strike(dir, path);
    return error ? fail_with(error) : real_openat(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
    REAL(openat);
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = mode_argument(flags, arguments);
    va_end(arguments);
    const int error = open_strike(dir, path);
    return error ? fail_with(error) : real_openat(dir, path, flags, mode);
}

int creat(const char* path, mode_t mode) { return open(path, O_WRONLY | O_CREAT | O_TRUNC, mode); }

int creat64(const char* path, mode_t mode) { return creat(path, mode); }

int mkostemps(char* pattern, int suffix_length, int flags) {
    REAL(mkostemps);
    const int error = open_strike(AT_FDCWD, pattern);
    return error ? fail_with(error) : real_mkostemps(pattern, suffix_length, flags);
}

int mkstemp(char* pattern) { return mkostemps(pattern, 0, 0); }

int mkstemp64(char* pattern) { return mkostemps(pattern, 0, 0); }

int mkostemp(char* pattern, int flags) { return mkostemps(pattern, 0, flags); }

int mkstemps(char* pattern, int suffix_length) { return mkostemps(pattern, suffix_length, 0); }

struct counted_stream {
    int fd;
    char path[PATH_MAX];
};

static ssize_t stream_read(void* cookie, char* data, size_t size) {
    return read(((struct counted_stream*)cookie)->fd, data, size);
}

static ssize_t stream_write(void* cookie, const char* data, size_t size) {
    const struct counted_stream* stream = cookie;
    return counted_write(stream->fd, data, size, 1, stream->path);
}

static int stream_seek(void* cookie, off64_t* offset, int whence) {
    const off64_t at = lseek64(((struct counted_stream*)cookie)->fd, *offset, whence);
    if (at < 0) return -1;
    *offset = at;
    return 0;
}

static int stream_close(void* cookie) {
    struct counted_stream* stream = cookie;
    const int result = close(stream->fd);
    free(stream);
    return result;
}

static int open_flags(const char* mode) {
    int flags = strchr(mode, '+') ? O_RDWR : O_WRONLY;
    if (mode[0] == 'w') flags |= O_CREAT | O_TRUNC;
    if (mode[0] == 'a') flags |= O_CREAT | O_APPEND;
    if (strchr(mode, 'x')) flags |= O_EXCL;
    if (strchr(mode, 'e')) flags |= O_CLOEXEC;
    return flags;
}

static FILE* counted_fopen(const char* path, const char* mode, FILE* (*real)(const char*,
                                                                          const char*)) {
    char absolute[PATH_MAX];
    if (!path_in_scope(AT_FDCWD, path, absolute)) return real(path, mode);
    const int error = strike(OP_OPEN, absolute);
    if (error) {
        errno = error;
        return NULL;
    }
    if (mode[0] == 'r' && strchr(mode, '+') == NULL) return real(path, mode);
    struct counted_stream* stream = malloc(sizeof *stream);
    if (stream == NULL) return NULL;
    stream->fd = raw_open(path, open_flags(mode), 0666);
    if (stream->fd < 0) {
        free(stream);
        return NULL;
    }
    snprintf(stream->path, sizeof stream->path, "%s", absolute);
    const cookie_io_functions_t functions = {stream_read, stream_write, stream_seek, stream_close};
    FILE* file = fopencookie(stream, mode, functions);
    if (file == NULL) {
        close(stream->fd);
        free(stream);
    }
    return file;
}

FILE* fopen(const char* path, const char* mode) {
    REAL(fopen);
    return counted_fopen(path, mode, real_fopen);
}

FILE* fopen64(const char* path, const char* mode) {
    REAL(fopen64);
    return counted_fopen(path, mode, real_fopen64);
}
