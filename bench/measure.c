/* Runs one command and writes its resource use to standard error as the last line:
 *   "RUSAGE <user seconds> <system seconds> <peak RSS KiB>"
 * A small parent of its own keeps the caller's memory out of the command's peak RSS, which
 * Linux would otherwise count from the fork of a large caller (a Python interpreter).
 *
 *   measure COMMAND [ARG...]
 */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs("usage: measure COMMAND [ARG...]\n", stderr);
    return 2;
  }
  const pid_t child = fork();
  if (child < 0) return 127;
  if (child == 0) {
    execvp(argv[1], argv + 1);
    perror(argv[1]);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) != child) return 127;
  fprintf(stderr, "RUSAGE %ld.%06ld %ld.%06ld %ld\n", (long)usage.ru_utime.tv_sec,
          (long)usage.ru_utime.tv_usec, (long)usage.ru_stime.tv_sec, (long)usage.ru_stime.tv_usec,
          usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
