#pragma once
// Who may see the pages: the token printed at start, sessions that a token or
// a password opened, and the brake on guessing either. Shared by every worker
// thread: each member locks.
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace riventar::web {

// 32 random bytes from the system's generator, as 64 hex digits.
std::string RandomToken();

class Access {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::hours SessionLife{12};
  // A client that failed this many times within the window is refused until
  // the oldest failure leaves it.
  static constexpr int MaxFailures = 5;
  static constexpr std::chrono::seconds FailureWindow{60};

  explicit Access(std::string token) : token_(std::move(token)) {}

  const std::string& Token() const { return token_; }
  // Compared in constant time.
  bool IsToken(std::string_view candidate) const;

  // A new session's id, valid for SessionLife.
  std::string OpenSession(Clock::time_point now = Clock::now());
  bool IsSession(std::string_view id, Clock::time_point now = Clock::now());
  void CloseSession(std::string_view id);

  // Whether `client` (its address) may try a token or a password now.
  bool MayTry(const std::string& client, Clock::time_point now = Clock::now());
  void Failed(const std::string& client, Clock::time_point now = Clock::now());

 private:
  void Forget(Clock::time_point now);  // expired sessions and old failures; lock held

  const std::string token_;
  std::mutex mutex_;
  std::map<std::string, Clock::time_point, std::less<>> sessions_;  // id -> end
  std::map<std::string, std::vector<Clock::time_point>> failures_;
};

// ---- Users who log in with a password (for an address on the network) ----

// $XDG_CONFIG_HOME/riventar/web-users (~/.config/riventar/web-users).
std::string UsersFile();

// Names: 1..64 of A-Z a-z 0-9 . _ -
bool IsUserName(std::string_view name);

// name -> Argon2id hash string. A missing file holds nobody. Throws
// std::runtime_error for a file that cannot be read or a line that is no user.
std::map<std::string, std::string> LoadUsers(const std::string& path);
// The password is kept only as a salted Argon2id hash; the file is written
// whole and atomically, readable by its owner only. Throws std::runtime_error.
void AddUser(const std::string& path, const std::string& name, const std::string& password);
// False when there was no such user.
bool RemoveUser(const std::string& path, const std::string& name);
bool CheckPassword(const std::map<std::string, std::string>& users, const std::string& name,
                   const std::string& password);

}  // namespace riventar::web
