#pragma once
// Dialogs for tests: every message is recorded, questions and file dialogs
// take their answers from queues the test fills. An unexpected question
// fails the test and is answered No.
#include <gtest/gtest.h>

#include <QDialog>
#include <QPrinter>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/common/dialogs.h"

namespace riventar::testing {

using ui::FileChoice;
using ui::FileDialogOptions;
using ui::MsgAnswer;
using ui::MsgButtons;
using ui::MsgIcon;

struct MessageRecord {
  MsgIcon icon;
  QString caption;
  QString text;
  MsgButtons buttons;
  MsgAnswer defaultAnswer;  // what Enter answers a question with
};

class ScriptedDialogs final : public ui::Dialogs {
 public:
  std::deque<MsgAnswer> answers;  // for Yes/No questions, in order
  // Which car a reading goes to, in order; nullopt = left unassigned. With
  // none queued the question is answered as a cancel (unassigned): tests of
  // readings that do not look at the vehicle need not answer it.
  std::deque<std::optional<trips::VehicleInfo>> vehicleAnswers;
  std::deque<std::optional<FileChoice>> openAnswers;  // nullopt = cancel
  std::deque<std::optional<FileChoice>> saveAnswers;
  std::deque<QStringList> openManyAnswers;         // empty = cancel
  std::deque<bool> printAnswers;                   // false = cancel
  std::function<void(QPrinter&)> setUpPrinter;     // runs before a confirmed print
  std::deque<std::optional<QString>> textAnswers;  // nullopt = cancel
  // The program's own dialogs: each runs the next, which works it as a user would and returns its result.
  std::deque<std::function<int(QDialog&)>> dialogRuns;

  std::vector<MessageRecord> messages;
  std::vector<ui::VehicleQuestion> vehicleQuestions;
  std::vector<FileDialogOptions> openRequests;
  std::vector<FileDialogOptions> saveRequests;
  int beeps = 0;
  int prints = 0;
  std::vector<QString> textRequests;  // the labels asked with
  // Everything in order: "beep", "message:<caption>", "vehicle", "open", "save", "print", "text", "dialog", "item".
  std::vector<std::string> log;
  // Runs inside Message(), for tests that look at the program while a box is up.
  std::function<void(const MessageRecord&)> onMessage;

  MsgAnswer Message(QWidget*, MsgIcon icon, const QString& caption, const QString& text, MsgButtons buttons,
                    MsgAnswer defaultAnswer) override {
    messages.push_back({icon, caption, text, buttons, defaultAnswer});
    log.push_back("message:" + caption.toStdString());
    if (onMessage) onMessage(messages.back());
    if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << caption.toStdString() << " / " << text.toStdString();
      return MsgAnswer::No;
    }
    const MsgAnswer a = answers.front();
    answers.pop_front();
    return a;
  }

  std::optional<trips::VehicleInfo> ChooseVehicle(QWidget*, const ui::VehicleQuestion& question) override {
    vehicleQuestions.push_back(question);
    log.emplace_back("vehicle");
    if (vehicleAnswers.empty()) return std::nullopt;
    std::optional<trips::VehicleInfo> answer = vehicleAnswers.front();
    vehicleAnswers.pop_front();
    return answer;
  }

  std::optional<FileChoice> OpenFile(QWidget*, const FileDialogOptions& options) override {
    openRequests.push_back(options);
    log.emplace_back("open");
    return Next(openAnswers, "open");
  }

  QStringList OpenFiles(QWidget*, const FileDialogOptions& options) override {
    openRequests.push_back(options);
    log.emplace_back("open");
    if (openManyAnswers.empty()) {
      ADD_FAILURE() << "unexpected open dialog for several files";
      return {};
    }
    QStringList chosen = openManyAnswers.front();
    openManyAnswers.pop_front();
    return chosen;
  }

  std::optional<FileChoice> SaveFile(QWidget*, const FileDialogOptions& options) override {
    saveRequests.push_back(options);
    log.emplace_back("save");
    return Next(saveAnswers, "save");
  }

  bool Print(QWidget*, QPrinter& printer) override {
    log.emplace_back("print");
    if (printAnswers.empty()) {
      ADD_FAILURE() << "unexpected print dialog";
      return false;
    }
    const bool ok = printAnswers.front();
    printAnswers.pop_front();
    if (ok) {
      ++prints;
      if (setUpPrinter) setUpPrinter(printer);
    }
    return ok;
  }

  void Beep() override {
    ++beeps;
    log.emplace_back("beep");
  }

  std::optional<QString> TextInput(QWidget*, const QString&, const QString& label, const QString&) override {
    textRequests.push_back(label);
    log.emplace_back("text");
    return Next(textAnswers, "text input");
  }

  int Exec(QDialog& dialog) override {
    log.emplace_back("dialog");
    if (dialogRuns.empty()) {
      ADD_FAILURE() << "unexpected dialog";
      return 0;
    }
    const auto run = std::move(dialogRuns.front());
    dialogRuns.pop_front();
    return run(dialog);
  }

  // The logbook window's choices: each answered from itemAnswers (nullopt = cancel); the items offered kept.
  std::deque<std::optional<QString>> itemAnswers;
  std::vector<QStringList> itemRequests;

  std::optional<QString> ChooseItem(QWidget*, const QString&, const QString&, const QStringList& items, const QString&,
                                    bool) override {
    itemRequests.push_back(items);
    log.emplace_back("item");
    return Next(itemAnswers, "choice");
  }

  // Captions of all messages so far, for compact assertions.
  std::vector<std::string> Captions() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.caption.toStdString());
    return out;
  }

 private:
  template <typename Answer>
  static std::optional<Answer> Next(std::deque<std::optional<Answer>>& queue, const char* what) {
    if (queue.empty()) {
      ADD_FAILURE() << "unexpected " << what << " dialog";
      return std::nullopt;
    }
    if (!queue.front()) {
      queue.pop_front();
      return std::nullopt;
    }
    Answer choice = *queue.front();
    queue.pop_front();
    return choice;
  }
};

}  // namespace riventar::testing
