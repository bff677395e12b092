#include "web/access.h"

#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "base/files/file_io.h"
#include "base/posix/errno_text.h"

namespace riventar::web {
namespace {

void InitSodium() {
  if (sodium_init() < 0) throw std::runtime_error("the cryptography library cannot start");
}

std::string Serialized(const std::map<std::string, std::string>& users) {
  std::string out;
  for (const auto& [name, hash] : users) out.append(name).append(":").append(hash).append("\n");
  return out;
}

void Store(const std::string& path, const std::map<std::string, std::string>& users) {
  const std::filesystem::path file(path);
  std::error_code error;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
  if (error) throw std::runtime_error("cannot create the folder of " + path + ": " + error.message());
  // Made for its owner only before anything is in it; a replaced file keeps that.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + path + ": " + posix::ErrnoText(errno));
  if (::close(fd) != 0) throw std::runtime_error("cannot create " + path + ": " + posix::ErrnoText(errno));
  const files::WriteResult written = files::ReplaceFileAtomically(path, Serialized(users));
  if (!written.ok()) throw std::runtime_error("cannot write " + path + ": " + posix::ErrnoText(written.error));
}

}  // namespace

std::string RandomToken() {
  InitSodium();
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  char hex[sizeof bytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  return hex;
}

bool Access::IsToken(std::string_view candidate) const {
  return candidate.size() == token_.size() && sodium_memcmp(candidate.data(), token_.data(), token_.size()) == 0;
}

std::string Access::OpenSession(Clock::time_point now) {
  std::string id = RandomToken();
  const std::lock_guard lock(mutex_);
  Forget(now);
  sessions_[id] = now + SessionLife;
  return id;
}

bool Access::IsSession(std::string_view id, Clock::time_point now) {
  const std::lock_guard lock(mutex_);
  const auto found = sessions_.find(id);
  return found != sessions_.end() && found->second > now;
}

void Access::CloseSession(std::string_view id) {
  const std::lock_guard lock(mutex_);
  const auto found = sessions_.find(id);
  if (found != sessions_.end()) sessions_.erase(found);
}

bool Access::MayTry(const std::string& client, Clock::time_point now) {
  const std::lock_guard lock(mutex_);
  Forget(now);
  const auto found = failures_.find(client);
  return found == failures_.end() || static_cast<int>(found->second.size()) < MaxFailures;
}

void Access::Failed(const std::string& client, Clock::time_point now) {
  const std::lock_guard lock(mutex_);
  failures_[client].push_back(now);
}

void Access::Forget(Clock::time_point now) {
  std::erase_if(sessions_, [now](const auto& s) { return s.second <= now; });
  for (auto& [client, times] : failures_)
    std::erase_if(times, [now](Clock::time_point t) { return t + FailureWindow <= now; });
  std::erase_if(failures_, [](const auto& f) { return f.second.empty(); });
}

std::string UsersFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config && config[0] == '/') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home ? home : "") + "/.config";
  }
  return folder + "/riventar/web-users";
}

bool IsUserName(std::string_view name) {
  return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
  });
}

std::map<std::string, std::string> LoadUsers(const std::string& path) {
  const files::ReadResult read = files::ReadWholeFile(path, 1 << 20);
  if (!read.ok && read.error == ENOENT) return {};
  if (!read.ok) throw std::runtime_error("cannot read " + path + ": " + posix::ErrnoText(read.error));
  std::map<std::string, std::string> users;
  std::istringstream lines(read.bytes);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (line.empty()) continue;
    const auto colon = line.find(':');
    const std::string name = line.substr(0, colon == std::string::npos ? 0 : colon);
    if (!IsUserName(name) || line.compare(colon + 1, 10, "$argon2id$") != 0)
      throw std::runtime_error(path + ", line " + std::to_string(number) + ": not a user's name and password hash");
    users[name] = line.substr(colon + 1);
  }
  return users;
}

void AddUser(const std::string& path, const std::string& name, const std::string& password) {
  InitSodium();
  if (!IsUserName(name)) throw std::runtime_error("a user's name is 1 to 64 of A-Z a-z 0-9 . _ -");
  if (password.size() < 8) throw std::runtime_error("the password must have at least 8 characters");
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    throw std::runtime_error("not enough memory to hash the password");
  std::map<std::string, std::string> users = LoadUsers(path);
  users[name] = hash;
  Store(path, users);
}

bool RemoveUser(const std::string& path, const std::string& name) {
  std::map<std::string, std::string> users = LoadUsers(path);
  if (users.erase(name) == 0) return false;
  Store(path, users);
  return true;
}

bool CheckPassword(const std::map<std::string, std::string>& users, const std::string& name,
                   const std::string& password) {
  InitSodium();
  const auto found = users.find(name);
  if (found == users.end()) return false;
  return crypto_pwhash_str_verify(found->second.c_str(), password.data(), password.size()) == 0;
}

}  // namespace riventar::web
