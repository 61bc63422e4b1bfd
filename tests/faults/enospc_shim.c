/* enospc_shim: loaded with LD_PRELOAD, makes writes to the event database and its journal fail
 * as on a full disk.
 *
 *   DATEBELL_FAIL_WRITES_AFTER=N   the first N writes to those files succeed, every later one
 *                                  fails with ENOSPC (0: fail at once); unset: the shim does
 *                                  nothing.
 *   DATEBELL_FAIL_WRITES_FILE=S    count and fail only writes to files whose path ends with
 *                                  "/S"; by default Datebell.mdb and Datebell.mdb-journal.
 *
 * Plain writes and copy_file_range (which a file copy uses) are both failed.
 *
 * The file behind a descriptor is read from /proc/self/fd at each write, so it does not matter
 * which open call made it. The first failure is reported once on stderr, so a test can tell
 * that the shim was loaded and struck. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static long long writesSeen;
static int reported;

static int endsWith(const char *text, size_t length, const char *suffix)
{
    const size_t n = strlen(suffix);
    return length > n && text[length - n - 1] == '/' && memcmp(text + length - n, suffix, n) == 0;
}

/* Nonzero when this write is to fail; the caller then returns -1 with errno ENOSPC. */
static int mustFail(int fd)
{
    const char *after = getenv("DATEBELL_FAIL_WRITES_AFTER");
    if (!after || !*after || fd < 0)
        return 0;

    char link[64];
    char path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0)
        return 0;
    path[length] = '\0';

    const char *only = getenv("DATEBELL_FAIL_WRITES_FILE");
    int watched;
    if (only && *only)
        watched = endsWith(path, (size_t)length, only);
    else
        watched = endsWith(path, (size_t)length, "Datebell.mdb")
                || endsWith(path, (size_t)length, "Datebell.mdb-journal");
    if (!watched)
        return 0;

    const long long number = __atomic_fetch_add(&writesSeen, 1, __ATOMIC_SEQ_CST);
    if (number < atoll(after))
        return 0;
    if (!__atomic_exchange_n(&reported, 1, __ATOMIC_SEQ_CST)) {
        char line[4200];
        const int n = snprintf(line, sizeof line,
                               "enospc-shim: write %lld to %s fails with ENOSPC\n", number, path);
        /* Straight to the kernel: stderr is no watched file, but this keeps the shim out of its
         * own way. */
        if (n > 0)
            (void)!syscall(SYS_write, 2, line,
                           (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
    }
    errno = ENOSPC;
    return 1;
}

/* The next definition of `name`, that is libc's. Copied through memcpy: ISO C has no cast
 * from an object pointer to a function pointer. */
#define LOOK_UP(pointer, name)                            \
    do {                                                  \
        if (!(pointer)) {                                 \
            void *symbol = dlsym(RTLD_NEXT, name);        \
            memcpy(&(pointer), &symbol, sizeof(pointer)); \
        }                                                 \
    } while (0)

ssize_t write(int fd, const void *buffer, size_t count)
{
    static ssize_t (*real)(int, const void *, size_t);
    if (mustFail(fd))
        return -1;
    LOOK_UP(real, "write");
    return real(fd, buffer, count);
}

ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset)
{
    static ssize_t (*real)(int, const void *, size_t, off_t);
    if (mustFail(fd))
        return -1;
    LOOK_UP(real, "pwrite");
    return real(fd, buffer, count, offset);
}

ssize_t pwrite64(int fd, const void *buffer, size_t count, off64_t offset)
{
    static ssize_t (*real)(int, const void *, size_t, off64_t);
    if (mustFail(fd))
        return -1;
    LOOK_UP(real, "pwrite64");
    return real(fd, buffer, count, offset);
}

ssize_t writev(int fd, const struct iovec *vector, int count)
{
    static ssize_t (*real)(int, const struct iovec *, int);
    if (mustFail(fd))
        return -1;
    LOOK_UP(real, "writev");
    return real(fd, vector, count);
}

ssize_t pwritev(int fd, const struct iovec *vector, int count, off_t offset)
{
    static ssize_t (*real)(int, const struct iovec *, int, off_t);
    if (mustFail(fd))
        return -1;
    LOOK_UP(real, "pwritev");
    return real(fd, vector, count, offset);
}

ssize_t copy_file_range(int in, off64_t *inOffset, int out, off64_t *outOffset, size_t count,
                        unsigned int flags)
{
    static ssize_t (*real)(int, off64_t *, int, off64_t *, size_t, unsigned int);
    if (mustFail(out))
        return -1;
    LOOK_UP(real, "copy_file_range");
    return real(in, inOffset, out, outOffset, count, flags);
}
