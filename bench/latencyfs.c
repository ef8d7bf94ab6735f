// A slow device on purpose: a read-only passthrough filesystem that adds a
// fixed latency to every open and every read, as a spinning disk or a
// network share does. Multithreaded, so that concurrent requests wait
// side by side as they would on such a device.
//
//   latencyfs SOURCE MOUNTPOINT [--latency-us=N] [FUSE options]
//   fusermount3 -u MOUNTPOINT
//
// N defaults to 2000 (2 ms).
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#define kMostRequests 64
#define STR_(x) #x
#define STR(x) STR_(x)

static struct {
  char* source;
  int latency_us;
} config = {NULL, 2000};

static const struct fuse_opt kOptions[] = {
    {"--latency-us=%d", offsetof(__typeof__(config), latency_us), 0},
    FUSE_OPT_END,
};

static void RealPath(char out[PATH_MAX], const char* path) {
  snprintf(out, PATH_MAX, "%s%s", config.source, path);
}

static void Wait(void) {
  struct timespec t = {config.latency_us / 1000000, (config.latency_us % 1000000) * 1000L};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

static int GetAttr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  (void)fi;
  char real[PATH_MAX];
  RealPath(real, path);
  return lstat(real, st) == 0 ? 0 : -errno;
}

static int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset,
                   struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  (void)offset, (void)fi, (void)flags;
  char real[PATH_MAX];
  RealPath(real, path);
  DIR* dir = opendir(real);
  if (dir == NULL) return -errno;
  for (struct dirent* entry; (entry = readdir(dir)) != NULL;) {
    struct stat st = {0};
    st.st_ino = entry->d_ino;
    st.st_mode = (mode_t)DTTOIF(entry->d_type);
    if (fill(buf, entry->d_name, &st, 0, 0)) break;
  }
  closedir(dir);
  return 0;
}

static int Open(const char* path, struct fuse_file_info* fi) {
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  Wait();
  char real[PATH_MAX];
  RealPath(real, path);
  int fd = open(real, fi->flags);
  if (fd < 0) return -errno;
  fi->fh = (uint64_t)fd;
  return 0;
}

static int Read(const char* path, char* buf, size_t size, off_t offset,
                struct fuse_file_info* fi) {
  (void)path;
  Wait();
  ssize_t got = pread((int)fi->fh, buf, size, offset);
  return got < 0 ? -errno : (int)got;
}

static int Release(const char* path, struct fuse_file_info* fi) {
  (void)path;
  close((int)fi->fh);
  return 0;
}

static int StatFs(const char* path, struct statvfs* st) {
  char real[PATH_MAX];
  RealPath(real, path);
  return statvfs(real, st) == 0 ? 0 : -errno;
}

static const struct fuse_operations kOperations = {
    .getattr = GetAttr,
    .open = Open,
    .read = Read,
    .release = Release,
    .statfs = StatFs,
    .readdir = ReadDir,
};

// The first non-option argument is the source folder; the rest go to FUSE.
static int KeepSource(void* data, const char* arg, int key, struct fuse_args* args) {
  (void)data, (void)args;
  if (key == FUSE_OPT_KEY_NONOPT && config.source == NULL) {
    config.source = realpath(arg, NULL);
    return 0;
  }
  return 1;
}

int main(int argc, char* argv[]) {
  struct fuse_args args = FUSE_ARGS_INIT(argc, argv);
  if (fuse_opt_parse(&args, &config, kOptions, KeepSource) != 0 || config.source == NULL) {
    fprintf(stderr, "usage: latencyfs SOURCE MOUNTPOINT [--latency-us=N] [FUSE options]\n");
    return 2;
  }
  fuse_opt_add_arg(&args, "-oro");
  // libfuse serves ten requests at once by default, which would make the
  // mount the bottleneck; a disk's queue or a network share holds more.
  fuse_opt_add_arg(&args, "-omax_threads=" STR(kMostRequests));
  fuse_opt_add_arg(&args, "-omax_idle_threads=" STR(kMostRequests));
  int result = fuse_main(args.argc, args.argv, &kOperations, NULL);
  fuse_opt_free_args(&args);
  free(config.source);
  return result;
}
