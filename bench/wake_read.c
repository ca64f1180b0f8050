/* The cost of the work itself, with no window: wake every 30 ms on an absolute schedule,
 * read /proc/meminfo and take MemTotal and MemAvailable out of it.
 *
 *     wake_read [--counter FILE]
 *
 * --counter names a file the tick count is kept in, as one little-endian 64-bit number in
 * shared memory, so that reading it costs this program nothing. Ends on SIGTERM or SIGINT.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#define INTERVAL_NS 30000000L

static volatile sig_atomic_t stopping;

static void stop(int sig) {
    (void)sig;
    stopping = 1;
}

static uint64_t* map_counter(const char* path) {
    static uint64_t local;
    if (path == NULL) {
        return &local;
    }
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ftruncate(fd, sizeof(uint64_t)) != 0) {
        perror(path);
        exit(2);
    }
    void* map = mmap(NULL, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) {
        perror("mmap");
        exit(2);
    }
    return map;
}

/* The kB figure on the line that starts with name (which ends in ':'), or -1. */
static long long field_kb(const char* text, const char* name) {
    size_t length = strlen(name);
    for (const char* line = text; line != NULL && *line != '\0';) {
        if (strncmp(line, name, length) == 0) {
            return strtoll(line + length, NULL, 10);
        }
        line = strchr(line, '\n');
        if (line != NULL) {
            ++line;
        }
    }
    return -1;
}

int main(int argc, char** argv) {
    const char* counter_path = NULL;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--counter") == 0 && i + 1 < argc) {
            counter_path = argv[++i];
        } else {
            fprintf(stderr, "usage: wake_read [--counter FILE]\n");
            return 2;
        }
    }
    uint64_t* ticks = map_counter(counter_path);

    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = stop;
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    int fd = open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        perror("/proc/meminfo");
        return 1;
    }
    static char text[8192];
    volatile long long sink = 0;

    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    while (!stopping) {
        next.tv_nsec += INTERVAL_NS;
        if (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
        int rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, NULL);
        if (rc == EINTR) {
            continue;
        }
        ssize_t n = pread(fd, text, sizeof text - 1, 0);
        if (n <= 0) {
            perror("read /proc/meminfo");
            return 1;
        }
        text[n] = '\0';
        sink = field_kb(text, "MemTotal:") + field_kb(text, "MemAvailable:");
        ++*ticks;
    }
    (void)sink;
    close(fd);
    return 0;
}
