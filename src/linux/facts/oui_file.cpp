#include "linux/facts/oui_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

MappedText MapOuiFile(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return MappedText{nullptr, 0};
    struct stat about {};
    void* mapped = MAP_FAILED;
    const bool usable = fstat(fd, &about) == 0 && S_ISREG(about.st_mode) && about.st_size > 0 &&
                        static_cast<std::size_t>(about.st_size) <= kOuiTextLimit;
    if (usable) mapped = mmap(nullptr, static_cast<std::size_t>(about.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    close(fd);  // the mapping stays; populated at once, as the index reads it all
    if (mapped == MAP_FAILED) return MappedText{nullptr, 0};
    return MappedText{static_cast<const char*>(mapped), static_cast<int>(about.st_size)};
}
