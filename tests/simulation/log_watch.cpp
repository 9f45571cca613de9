// The log pane watched: its lines mirrored from its change notifications,
// each line held against the wire (a command against the bytes sent, a
// reply against the bytes read) and taken for what it says of the run.
#include "tests/simulation/world.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/codepage.h"

namespace simulation {

std::vector<std::string> World::Tail(size_t n) const {
  std::vector<std::string> out;
  for (size_t i = lines_.size() > n ? lines_.size() - n : 0; i < lines_.size(); ++i)
    out.push_back("log: " + ShownLine(lines_[i]));
  return out;
}

void World::OnContentsChange(int from, int removed, int added) {
  QTextDocument* doc = form_->MEset->document();
  const int chars = doc->characterCount();
  if (clearing_) {
    docChars_ = chars;
    lines_.clear();
    return;
  }
  // Lines are only ever added at the end.
  if (removed != 0 || from < docChars_ - 1)
    Violation("the log pane changed other than at its end", {"from " + std::to_string(from) + " removed " +
                                                                 std::to_string(removed) + " added " +
                                                                 std::to_string(added)});
  docChars_ = chars;
  lastLogUs_ = tk_.NowUs();
  const int complete = doc->blockCount() - 1;  // the last block is the empty end
  if (doc->lastBlock().length() != 1) Violation("a log line does not end with its line break");
  for (int i = int(lines_.size()); i < complete; ++i) {
    const std::string line = app::FromDisplay(doc->findBlockByNumber(i).text());
    lines_.push_back(line);
    ++linesSeen_;
    OnLine(line);
  }
}

void World::ResolveCommand(const std::string* nextLine) {
  if (!commandPending_) return;
  commandPending_ = false;
  const std::string sent = wire_.written.substr(commandMark_);
  if (nextLine && *nextLine == W("нет соединения с портом")) {
    sendFailed_ = true;
    if (!sent.empty()) Violation("bytes went out although the port was reported missing", {Shown(sent)});
    return;
  }
  if (sent == command_) return;
  // A device that refused bytes or vanished may have taken only the start.
  if (wire_.shortWrites != commandShort_ && StartsWith(command_, sent)) return;
  std::vector<std::string> ctx = Tail(6);
  ctx.push_back("logged: " + Shown(command_));
  ctx.push_back("on the device: " + Shown(sent));
  Violation("a command line does not match the bytes on the device", ctx);
}

void World::OnLine(const std::string& line) {
  Note("log: " + ShownLine(line));
  ResolveCommand(&line);
  // A cross line followed by more lines at once is a step's verdict (a model
  // mismatch, a failure), not the end of a manual exchange.
  if (expectStart_ && expectWhy_ == "the cross line after a reply") expectStart_ = false;
  const std::string kCommand = W("Команда= ");
  const std::string kReply = W("ответ(без CR и LF)=");
  if (StartsWith(line, kCommand)) {
    commandPending_ = true;
    command_ = line.substr(kCommand.size());
    commandMark_ = wire_.written.size();
    commandShort_ = wire_.shortWrites;
    wire_.readSinceSend.clear();
    if (!EndsWith(command_, "\r")) Violation("a command line lost its CR", Tail(3));
    lastSent_ = command_.substr(0, command_.size() - 1);
    sendFailed_ = false;
    offPromptSinceSend_ = false;
    return;
  }
  if (StartsWith(line, kReply)) {
    const std::string shown = line.substr(kReply.size());
    const std::string held = WithoutCrLf(form_->ReplyText);
    if (shown != held) Violation("the logged reply is not the reply buffer", {"logged: " + Shown(shown), "held: " + Shown(held)});
    if (!EndsWith(WithoutCrLf(wire_.readSinceSend), held))
      Violation("the reply buffer holds bytes the device never gave", {"held: " + Shown(held),
                                                                        "read: " + Shown(wire_.readSinceSend)});
    return;
  }
  // The ends of a run: the start button is enabled once the step is through.
  static const std::vector<std::string> ends = {
      W("НЕТ СВЯЗИ c модемом"), W("НЕТ ОТВЕТА (0 байт)"), W("процесс прерван"), W("можно начинать"),
      W("ответ не понятен"),
      W("не удалось снять запрос PIN-кода или ответ модема непонятен"),
      W("не удалось установить заводские установки или ответ модема непонятен"),
      W("не удалось установить режим автоматически снимать трубку или ответ модема непонятен"),
      W("не удалось установить автоматический переход в режим передачи данных или ответ модема непонятен"),
      W("не удалось задать скорость обмена 9600 или ответ модема непонятен"),
      W("не удалось сохранить основные установки или ответ модема непонятен"),
      W("не удалось сохранить дополнительные установки или ответ модема непонятен"),
      W("PIN-код не принят. Проверьте правильность PIN-кода и нажмите кнопку \"НАЧАТЬ\" ")};
  if (line == W("НЕТ СВЯЗИ c модемом")) ++watchdogs;
  for (const std::string& e : ends) {
    if (line == e) {
      expectStart_ = true;
      expectWhy_ = line;
      return;
    }
  }
  if (StartsWith(line, W("УСТАНОВКА ПАРАМЕТРОВ МОДЕМА ("))) {
    ++successes;
    expectStart_ = true;
    expectWhy_ = line;
    return;
  }
  if (line == W("требуется ввод PUK-кода")) {
    expectAfterPrompt_ = long(tk_.Prompts().size());  // the box that follows
    return;
  }
  // In the manual terminal (or after a stop) a reply ends with the cross line.
  if (line == setup::CrossLine() && lines_.size() >= 2 && StartsWith(lines_[lines_.size() - 2], kReply)) {
    expectStart_ = true;
    expectWhy_ = "the cross line after a reply";
  }
}

}  // namespace simulation
