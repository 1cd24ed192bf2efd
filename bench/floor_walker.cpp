// The floor for the harvest benchmark: the least work any faithful program
// must do. Lists each directory once with readdir and d_type, reads each
// qualifying file in 64 KiB blocks and counts the lines with 19 tabs.
// Nothing else: no sorting, no table.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

static long records = 0;
static char block[65536];

static void ReadFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  int tabs = 0;
  ssize_t n;
  while ((n = read(fd, block, sizeof block)) > 0) {
    for (ssize_t i = 0; i < n; ++i) {
      char c = block[i];
      if (c == '\t') {
        ++tabs;
      } else if (c == '\n' || c == '\r') {
        records += tabs == 19;
        tabs = 0;
      }
    }
  }
  records += tabs == 19;
  close(fd);
}

static void Walk(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const char* name = e->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    std::string path = dir + "/" + name;
    if (e->d_type == DT_DIR) {
      Walk(path);
    } else if (e->d_type == DT_REG && name[0] != '.' &&
               (strstr(name, "EHI") || strstr(name, "Orvitan"))) {
      ReadFile(path);
    }
  }
  closedir(d);
}

int main() {
  Walk(".");
  std::printf("%ld\n", records);
}
