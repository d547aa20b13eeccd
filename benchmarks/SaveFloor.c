/* The least a durable replace of a small file costs, in plain C: write a
 * fresh file, sync it, rename it over the old one, sync the folder. The
 * game's save is measured against this floor in the same run. */
#include "benchmarks/SaveFloor.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int saveFloor(const char* text, size_t length) {
    int fd = open("save.txt.floor", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return -1;
    int ok = write(fd, text, length) == (ssize_t)length && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename("save.txt.floor", "save.txt") != 0) return -1;
    fd = open(".", O_RDONLY);
    if (fd < 0) return -1;
    ok = fsync(fd) == 0;
    close(fd);
    return ok ? 0 : -1;
}
