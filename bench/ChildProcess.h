#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <type_traits>

// Runs one measurement in a child process, so its memory figures start from a
// clean process, and reads its result back through a pipe. False when the
// child failed or its result did not arrive whole.
template <class TResult, class TOptions>
bool InChild(TResult (*run)(const TOptions&), const TOptions& options, TResult& result) {
  static_assert(std::is_trivially_copyable_v<TResult>, "the result crosses a pipe as bytes");
  std::fflush(stdout);
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    close(fds[0]);
    const TResult r = run(options);
    const ssize_t written = write(fds[1], &r, sizeof(r));
    std::_Exit(written == static_cast<ssize_t>(sizeof(r)) ? 0 : 1);
  }
  close(fds[1]);
  const ssize_t got = read(fds[0], &result, sizeof(result));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return got == static_cast<ssize_t>(sizeof(result)) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
