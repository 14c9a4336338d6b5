// Runs test code inside a network namespace of its own, so tests can build
// addresses and links that exist nowhere else (no traffic leaves the test).
#pragma once

#include <functional>
#include <string>

namespace qmx::test {

// Runs `body` on a new thread that has moved into a fresh network namespace
// with its loopback interface up; waits for it. Child processes started from
// `body` (e.g. "ip") share the namespace. Returns false with the reason when
// the namespace cannot be made (the caller skips).
bool RunInNetNamespace(const std::function<void()>& body, std::string* reason);

// Runs a shell command (inside the namespace when called from `body`);
// true when it exits with 0.
bool Shell(const std::string& command);

}  // namespace qmx::test
