#pragma once
// The stores a logbook session opens (core/services/logbook_session.h), over
// Qt SQL: SQLite files, and a fleet's PostgreSQL server with this computer's
// file in front of it. A QCoreApplication must exist first. The location
// rules read the user's settings file unless one is given.
#include <QSettings>
#include <memory>

#include "core/services/logbook_session.h"

namespace riventar::logbook {

class SessionStores final : public services::LogbookStores {
 public:
  SessionStores() = default;
  // Tests: the saved choice in this settings file; used only on the owner's thread.
  explicit SessionStores(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}

  std::string Configured(const std::optional<std::string>& given) override;
  std::string DefaultLocation() override;
  void Remember(const std::string& location) override;
  std::unique_ptr<Store> Open(const std::string& location, const services::StoreOptions& options) override;
  services::SharingStatus Sharing(Store& store) override;
  services::SendReport SendWaiting(Store& store) override;
  bool CheckPages(const std::string& location) override;
  void BackUp(const std::string& location, const std::string& copy) override;

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace riventar::logbook
