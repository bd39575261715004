// slowfs: a passthrough file system that makes each open and each read wait, as a share or
// a slow disk does, so that korvidan can be measured and tested on slow storage.
//
//   slowfs [--latency-us N] [--vanish TEXT] [--fail-open TEXT] [--fail-read TEXT]
//          SOURCE MOUNTPOINT [FUSE options]
//
// Every file and folder of SOURCE appears under MOUNTPOINT. An open and a read each wait
// N microseconds first (default 1000). A name that contains the --vanish text is listed
// but cannot be looked up, as an entry removed after its folder was listed; a file whose
// name contains the --fail-open text cannot be opened (EACCES); one whose name contains the
// --fail-read text opens, but each read fails with EIO. Writes, creates
// and truncation pass through without waiting (the result files). Runs until unmounted or
// ended with SIGTERM or SIGINT (it then unmounts).
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static char source[PATH_MAX];
static long latency_us = 1000;
static const char* vanish_text;
static const char* fail_open_text;
static const char* fail_read_text;

static void wait_for_device(void) {
  if (latency_us <= 0) return;
  struct timespec pause = {latency_us / 1000000, (latency_us % 1000000) * 1000};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

static int under_source(const char* path, char* full) {
  return snprintf(full, PATH_MAX, "%s%s", source, path) < PATH_MAX ? 0 : -ENAMETOOLONG;
}

static int has_text(const char* path, const char* text) {
  return text != NULL && strstr(path, text) != NULL;
}

static void* slow_init(struct fuse_conn_info* connection, struct fuse_config* config) {
  // Plain listings: a listing with attributes would look up each entry as it lists it.
  connection->want &= ~(unsigned)FUSE_CAP_READDIRPLUS;
  config->use_ino = 1;
  config->kernel_cache = 0;  // every run reads through this file system again
  return NULL;
}

static int slow_getattr(const char* path, struct stat* status, struct fuse_file_info* file) {
  if (file != NULL) return fstat((int)file->fh, status) == 0 ? 0 : -errno;
  if (has_text(path, vanish_text)) return -ENOENT;
  char full[PATH_MAX];
  int result = under_source(path, full);
  if (result != 0) return result;
  return lstat(full, status) == 0 ? 0 : -errno;
}

static int slow_readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                        struct fuse_file_info* file, enum fuse_readdir_flags flags) {
  (void)offset;
  (void)file;
  (void)flags;
  char full[PATH_MAX];
  int result = under_source(path, full);
  if (result != 0) return result;
  DIR* folder = opendir(full);
  if (folder == NULL) return -errno;
  for (struct dirent* entry; (entry = readdir(folder)) != NULL;) {
    struct stat status;
    memset(&status, 0, sizeof status);
    status.st_ino = entry->d_ino;
    status.st_mode = (mode_t)(DTTOIF(entry->d_type));
    if (fill(buffer, entry->d_name, &status, 0, 0) != 0) break;
  }
  closedir(folder);
  return 0;
}

// Opens the file under SOURCE with the flags FUSE was given, its descriptor kept in `file`.
static int open_under_source(const char* path, mode_t mode, struct fuse_file_info* file) {
  char full[PATH_MAX];
  int result = under_source(path, full);
  if (result != 0) return result;
  const int descriptor = open(full, file->flags, mode);
  if (descriptor < 0) return -errno;
  file->fh = (uint64_t)descriptor;
  return 0;
}

static int slow_open(const char* path, struct fuse_file_info* file) {
  wait_for_device();
  if (has_text(path, fail_open_text)) return -EACCES;
  return open_under_source(path, 0, file);
}

static int slow_create(const char* path, mode_t mode, struct fuse_file_info* file) {
  return open_under_source(path, mode, file);
}

static int slow_read(const char* path, char* buffer, size_t size, off_t offset,
                     struct fuse_file_info* file) {
  wait_for_device();
  if (has_text(path, fail_read_text)) return -EIO;
  const ssize_t got = pread((int)file->fh, buffer, size, offset);
  return got < 0 ? -errno : (int)got;
}

static int slow_write(const char* path, const char* buffer, size_t size, off_t offset,
                      struct fuse_file_info* file) {
  (void)path;
  const ssize_t put = pwrite((int)file->fh, buffer, size, offset);
  return put < 0 ? -errno : (int)put;
}

static int slow_truncate(const char* path, off_t size, struct fuse_file_info* file) {
  if (file != NULL) return ftruncate((int)file->fh, size) == 0 ? 0 : -errno;
  char full[PATH_MAX];
  int result = under_source(path, full);
  if (result != 0) return result;
  return truncate(full, size) == 0 ? 0 : -errno;
}

static int slow_unlink(const char* path) {
  char full[PATH_MAX];
  int result = under_source(path, full);
  if (result != 0) return result;
  return unlink(full) == 0 ? 0 : -errno;
}

static int slow_utimens(const char* path, const struct timespec times[2],
                        struct fuse_file_info* file) {
  if (file != NULL) return futimens((int)file->fh, times) == 0 ? 0 : -errno;
  char full[PATH_MAX];
  int result = under_source(path, full);
  if (result != 0) return result;
  return utimensat(AT_FDCWD, full, times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

static int slow_statfs(const char* path, struct statvfs* status) {
  (void)path;
  return statvfs(source, status) == 0 ? 0 : -errno;
}

static int slow_release(const char* path, struct fuse_file_info* file) {
  (void)path;
  close((int)file->fh);
  return 0;
}

static int slow_fsync(const char* path, int data_only, struct fuse_file_info* file) {
  (void)path;
  const int descriptor = (int)file->fh;
  return (data_only ? fdatasync(descriptor) : fsync(descriptor)) == 0 ? 0 : -errno;
}

static const struct fuse_operations operations = {
    .init = slow_init,
    .getattr = slow_getattr,
    .readdir = slow_readdir,
    .open = slow_open,
    .create = slow_create,
    .read = slow_read,
    .write = slow_write,
    .truncate = slow_truncate,
    .unlink = slow_unlink,
    .utimens = slow_utimens,
    .statfs = slow_statfs,
    .release = slow_release,
    .fsync = slow_fsync,
};

static int usage(void) {
  fprintf(stderr,
          "usage: slowfs [--latency-us N] [--vanish TEXT] [--fail-open TEXT] [--fail-read TEXT] "
          "SOURCE MOUNTPOINT [FUSE options]\n");
  return 2;
}

int main(int argc, char** argv) {
  int at = 1;
  for (; at + 1 < argc && strncmp(argv[at], "--", 2) == 0; at += 2) {
    if (strcmp(argv[at], "--latency-us") == 0) {
      latency_us = atol(argv[at + 1]);
    } else if (strcmp(argv[at], "--vanish") == 0) {
      vanish_text = argv[at + 1];
    } else if (strcmp(argv[at], "--fail-open") == 0) {
      fail_open_text = argv[at + 1];
    } else if (strcmp(argv[at], "--fail-read") == 0) {
      fail_read_text = argv[at + 1];
    } else {
      return usage();
    }
  }
  if (argc - at < 2 || realpath(argv[at], source) == NULL) return usage();
  // FUSE's own arguments: the mount point, then whatever follows it.
  char* fuse_arguments[64];
  int count = 0;
  fuse_arguments[count++] = argv[0];
  for (int i = at + 1; i < argc && count < 63; ++i) fuse_arguments[count++] = argv[i];
  fuse_arguments[count] = NULL;
  return fuse_main(count, fuse_arguments, &operations, NULL);
}
