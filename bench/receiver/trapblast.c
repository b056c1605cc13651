/* trapblast: sends pre-encoded datagrams COUNT times in all to HOST:PORT
 * over UDP, paced at RATE datagrams per second (0: as fast as possible), in
 * batches of up to 64 per sendmmsg call. The load generator of the receiver
 * benchmark (scripts/bench-receiver); it prints what it offered.
 *
 *   trapblast HOST PORT FILE COUNT RATE
 *
 * FILE is one datagram, or, when its name ends in ".set", a set of them,
 * each a 4-byte big-endian length and its bytes, sent in turn.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kBatch = 64 };

static double Now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: %s HOST PORT FILE COUNT RATE\n", argv[0]);
    return 2;
  }
  struct sockaddr_in to;
  memset(&to, 0, sizeof to);
  to.sin_family = AF_INET;
  to.sin_port = htons((unsigned short)atoi(argv[2]));
  if (inet_pton(AF_INET, argv[1], &to.sin_addr) != 1) {
    fprintf(stderr, "trapblast: %s is not an IPv4 address\n", argv[1]);
    return 2;
  }
  FILE* f = fopen(argv[3], "rb");
  if (!f) {
    perror(argv[3]);
    return 2;
  }
  /* Every datagram of the file, one after the other. */
  enum { kMaxSet = 4096 };
  static struct iovec set[kMaxSet];
  size_t setSize = 0;
  const size_t nameLen = strlen(argv[3]);
  if (nameLen > 4 && strcmp(argv[3] + nameLen - 4, ".set") == 0) {
    unsigned char head[4];
    while (setSize < kMaxSet && fread(head, 1, 4, f) == 4) {
      const size_t n =
          (size_t)head[0] << 24 | (size_t)head[1] << 16 | (size_t)head[2] << 8 | head[3];
      char* bytes = malloc(n ? n : 1);
      if (!bytes || fread(bytes, 1, n, f) != n) {
        fprintf(stderr, "trapblast: %s is cut short\n", argv[3]);
        return 2;
      }
      set[setSize].iov_base = bytes;
      set[setSize].iov_len = n;
      ++setSize;
    }
  } else {
    static char datagram[65536];
    set[0].iov_base = datagram;
    set[0].iov_len = fread(datagram, 1, sizeof datagram, f);
    setSize = 1;
  }
  fclose(f);
  if (setSize == 0) {
    fprintf(stderr, "trapblast: no datagram in %s\n", argv[3]);
    return 2;
  }
  const long long count = atoll(argv[4]);
  const double rate = atof(argv[5]);

  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    perror("socket");
    return 1;
  }
  int sndbuf = 4 * 1024 * 1024;
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
  struct mmsghdr msgs[kBatch];
  memset(msgs, 0, sizeof msgs);
  for (int i = 0; i < kBatch; ++i) {
    msgs[i].msg_hdr.msg_name = &to;
    msgs[i].msg_hdr.msg_namelen = sizeof to;
    msgs[i].msg_hdr.msg_iovlen = 1;
  }
  size_t next = 0; /* the set's datagram to send next */

  long long sent = 0, failed = 0;
  const double start = Now();
  while (sent < count) {
    long long due = count;
    if (rate > 0) {
      due = (long long)((Now() - start) * rate) + 1;
      if (due > count)
        due = count;
      if (due <= sent) {
        struct timespec pause = {0, 500000};
        nanosleep(&pause, NULL);
        continue;
      }
    }
    long long n = due - sent;
    if (n > kBatch)
      n = kBatch;
    for (long long i = 0; i < n; ++i)
      msgs[i].msg_hdr.msg_iov = &set[(next + (size_t)i) % setSize];
    const int r = sendmmsg(fd, msgs, (unsigned)n, 0);
    if (r < 0) {
      if (errno == EINTR)
        continue;
      /* A full socket buffer (ENOBUFS): the datagram is lost, as on a wire. */
      ++failed;
      ++sent;
      ++next;
      continue;
    }
    sent += r;
    next += (size_t)r;
  }
  const double took = Now() - start;
  printf("sent=%lld failed=%lld seconds=%.3f rate=%.0f\n", sent, failed, took,
         took > 0 ? (double)sent / took : 0.0);
  return 0;
}
