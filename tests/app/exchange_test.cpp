// The command exchange cycle through the real window, in virtual time.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "app_rig.h"
#include "tests/common/scratch_dir.h"

using namespace testing_app;

namespace {
const char* kIdent = "ATI\r\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n\r\nOK\r\n";

std::vector<std::string> Tail(const std::vector<std::string>& v, size_t n) {
  return std::vector<std::string>(v.end() - std::min(n, v.size()), v.end());
}
}  // namespace

TEST(Exchange, AReplyInPiecesWithShortGapsIsOneReply) {
  Rig r;
  serial::SimPort& line = r.Line();
  r.form->CBht->click();  // manual terminal: the reply is only shown
  r.form->LEHT->setText("ATI");
  r.Enter(r.form->LEHT);
  EXPECT_EQ(r.sentToModem, "");  // still on the line
  r.tk.RunFor(10);
  EXPECT_EQ(r.sentToModem, "ATI\r");
  const std::string reply = kIdent;
  for (size_t i = 0; i < reply.size(); i += 8) {
    line.PeerSend(reply.substr(i, 8));
    r.tk.RunFor(150);  // gaps below the 200 ms of the quiet detection
  }
  r.tk.RunFor(2000);
  EXPECT_EQ(Tail(r.Log(), 2),
            (std::vector<std::string>{"ответ(без CR и LF)=ATISIEMENSC35iREVISION 01.05OK", toolkit::Utf8(setup::CrossLine())}));
  EXPECT_EQ(r.Log().front(), "Команда= ATI\r");
  EXPECT_FALSE(r.form->AutoMode);
  EXPECT_FALSE(r.LogHas("процесс прерван"));
}

TEST(Exchange, AGapOverFourHundredMillisecondsEndsTheQuietDetectionEarly) {
  Rig r;
  serial::SimPort& line = r.Line();
  r.form->CBht->click();
  r.form->LEHT->setText("AT");
  r.Enter(r.form->LEHT);
  r.tk.RunFor(100);
  line.PeerSend("first");
  r.tk.RunFor(600);   // complete after two quiet ticks; evaluated 500 ms on
  line.PeerSend("second");
  r.tk.RunFor(3000);
  const auto log = r.Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[1], "ответ(без CR и LF)=firstsecond");  // what arrived by the evaluation
}

TEST(Exchange, TheWatchdogFiresThreeSecondsAfterTheFirstOfTwoSends) {
  Rig r;
  r.form->CBht->click();
  r.form->LEHT->setText("AT");
  r.Enter(r.form->LEHT);
  r.tk.RunFor(1000);
  r.Enter(r.form->LEHT);
  r.tk.RunFor(1999);
  EXPECT_FALSE(r.LogHas("НЕТ СВЯЗИ c модемом"));
  r.tk.RunFor(2);
  EXPECT_EQ(Tail(r.Log(), 2), (std::vector<std::string>{"НЕТ СВЯЗИ c модемом", toolkit::Utf8(setup::CrossLine())}));
  EXPECT_EQ(r.form->LogColour(), setup::clError);
  EXPECT_TRUE(r.form->AutoMode);
  EXPECT_TRUE(r.form->BBB->isEnabled());
  EXPECT_FALSE(r.form->Terror->Enabled());
}

TEST(Exchange, ACommandTypedWhileAReplyIsCollectedGivesAnEmptyReplyThenTheNewOne) {
  Rig r;
  serial::SimPort& line = r.Line();
  r.Respond([](const std::string& c) { return c == "AT2" ? std::string("\r\nlate\r\n") : std::string(); }, 350);
  r.form->CBht->click();
  r.form->LEHT->setText("AT1");
  r.Enter(r.form->LEHT);
  r.tk.RunFor(100);
  line.PeerSend("partial");
  r.tk.RunFor(60);  // collecting: Trx running
  ASSERT_TRUE(r.form->Trx->Enabled());
  r.form->LEHT->setText("AT2");
  r.Enter(r.form->LEHT);
  r.tk.RunFor(5000);
  const auto log = r.Log();
  EXPECT_TRUE(r.LogHas("НЕТ ОТВЕТА (0 байт)"));
  EXPECT_TRUE(r.LogHas("ответ(без CR и LF)=late"));
  EXPECT_FALSE(r.LogHas("ответ(без CR и LF)=partial"));
}

TEST(Exchange, StartWithoutAPortLogsTheCommandAndNoConnection) {
  Rig r(std::vector<std::string>{});
  r.form->BBB->click();
  EXPECT_EQ(r.Log(), (std::vector<std::string>{"Команда= ATI\r", "нет соединения с портом"}));
  EXPECT_EQ(r.form->LogColour(), setup::clError);
  EXPECT_FALSE(r.form->BBB->isEnabled());
  EXPECT_FALSE(r.form->Terror->Enabled());
  r.tk.RunFor(5000);
  EXPECT_EQ(r.Log().size(), 2u);  // no watchdog afterwards
}

TEST(Exchange, ALateAnswerAfterTheWatchdogCarriesTheRunOn) {
  Rig r;
  r.Respond([](const std::string& c) { return c == "ATI" ? std::string(kIdent) : std::string(); }, 3500);
  r.form->BBB->click();
  r.tk.RunFor(3100);
  EXPECT_TRUE(r.LogHas("НЕТ СВЯЗИ c модемом"));
  r.tk.RunFor(2000);
  EXPECT_TRUE(r.LogHas("ответ(без CR и LF)=ATISIEMENSC35iREVISION 01.05OK"));
  EXPECT_EQ(r.form->LEHT->text(), "AT+CPIN?");
  EXPECT_NE(r.sentToModem.find("AT+CPIN?\r"), std::string::npos);
  EXPECT_EQ(r.form->LogColour(), setup::clSuccess);
}

TEST(Exchange, AReplyAfterAStopIsMarkedInterruptedUnlessInTheTerminal) {
  Rig r;
  r.Respond([](const std::string&) { return std::string("\r\nOK\r\n"); }, 100);
  r.form->LEpin->setFocus();
  r.Enter(r.form->LEpin);  // a PUK entry with no run going: not in the table
  r.form->BBEClick();
  r.form->LEHT->setText("ATX");  // sent by hand while no run is active
  r.form->IssueCommand("ATX");
  r.tk.RunFor(2000);
  EXPECT_EQ(Tail(r.Log(), 2), (std::vector<std::string>{toolkit::Utf8(setup::CrossLine()), "процесс прерван"}));
  EXPECT_EQ(r.form->LogColour(), setup::clNormal);
}

TEST(Exchange, WithAnEmptyCommandLineOnlyTheStartUpReportIsAnswered) {
  Rig r;
  serial::SimPort& line = r.Line();
  line.PeerSend("\r\n^SYSSTART\r\n");
  r.tk.RunFor(2000);
  EXPECT_EQ(r.Log(), std::vector<std::string>{"можно начинать"});
  line.PeerSend("noise");
  r.tk.RunFor(2000);
  EXPECT_EQ(r.Log(), std::vector<std::string>{"можно начинать"});
  EXPECT_TRUE(r.form->ReplyText.empty());
}

TEST(Exchange, RawBytesOfAReplyAreKeptInTheLogAndTheFile) {
  const testing_support::ScratchDir scratch;
  const std::string file = scratch.File("raw_reply.txt");
  Rig r({"COM1"}, file);
  serial::SimPort& line = r.Line();
  r.form->CBht->click();
  r.form->LEHT->setText("AT");
  r.Enter(r.form->LEHT);
  std::string bytes;
  for (int b = 0; b < 256; ++b)
    if (b != '\r' && b != '\n') bytes.push_back(char(b));
  line.PeerSend(bytes);
  r.tk.RunFor(3000);
  const std::vector<std::string> lines = r.form->LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], W("ответ(без CR и LF)=") + bytes);
  ASSERT_TRUE(r.form->SaveLog());
  FILE* f = fopen(file.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string saved(1 << 16, '\0');
  saved.resize(fread(saved.data(), 1, saved.size(), f));
  fclose(f);
  EXPECT_NE(saved.find(W("ответ(без CR и LF)=") + bytes + "\r\n"), std::string::npos);
  EXPECT_EQ(saved.rfind(W("Команда= AT\r\r\n"), 0), 0u);
}

namespace {
const std::string kGps = "$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76\r\n";

// Does act now and every everyMs; tick holds the repetition and must outlive it.
void Every(Rig& r, uint64_t everyMs, std::function<void()>& tick, std::function<void()> act) {
  tick = [&r, everyMs, &tick, act] {
    act();
    r.tk.ScheduleIn(everyMs * 1000, [&tick] { tick(); });
  };
  tick();
}

std::vector<std::string> Replies(const Rig& r) {
  const std::string head = "ответ(без CR и LF)=";
  std::vector<std::string> out;
  for (const std::string& line : r.Log())
    if (line.rfind(head, 0) == 0) out.push_back(line.substr(head.size()));
  return out;
}

// The manual terminal, a command typed and sent.
void SendByHand(Rig& r, const char* command) {
  r.form->CBht->click();
  r.form->LEHT->setText(command);
  r.Enter(r.form->LEHT);
}

// Bytes that may come between a hand-over and its evaluation 500 ms on.
constexpr size_t kLongestPiece = setup::kLongestReplyBytes + 600;
}  // namespace

TEST(Exchange, ADeviceThatNeverGoesQuietEndsTheRunOnTheErrorColour) {
  for (const uint64_t everyMs : {100, 0}) {
    SCOPED_TRACE(everyMs);
    Rig r;
    serial::SimPort& line = r.Line();
    std::function<void()> tick;
    if (everyMs > 0) {
      Every(r, everyMs, tick, [&] { line.PeerSend(kGps); });
    } else {  // back to back at the line's full rate
      std::string flood;
      while (flood.size() < 40000) flood += kGps;
      line.PeerSend(flood);
    }
    r.form->BBB->click();
    auto warned = r.When([&] { return r.form->LogColour() == setup::clWarning; });
    auto ended = r.When([&] { return r.form->BBB->isEnabled(); });
    r.tk.RunFor(15000);
    EXPECT_TRUE(warned->seen);
    ASSERT_TRUE(ended->seen);
    EXPECT_EQ(r.form->LogColour(), setup::clError);
    EXPECT_TRUE(r.LogHas("марка модема не совпадает с заявленной"));
    EXPECT_TRUE(r.LogHas("ответ не понятен"));
    for (const std::string& reply : Replies(r)) EXPECT_LE(reply.size(), kLongestPiece);
  }
}

TEST(Exchange, AReplyDrippingWithoutAQuietTickIsHandedOverAtTheTimeBound) {
  Rig r;
  serial::SimPort& line = r.Line();
  SendByHand(r, "AT");
  r.tk.RunFor(100);
  const uint64_t firstByteMs = r.tk.NowMs();
  std::function<void()> tick;
  Every(r, 100, tick, [&] { line.PeerSend("x"); });  // well under the 200 ms of the quiet detection
  auto shown = r.When([&] { return !Replies(r).empty(); });
  r.tk.RunFor(setup::kLongestReplyMs + 2000);
  ASSERT_TRUE(shown->seen);
  EXPECT_GE(shown->atMs - firstByteMs, setup::kLongestReplyMs);
  EXPECT_LE(shown->atMs - firstByteMs, setup::kLongestReplyMs + 800);
}

TEST(Exchange, TheTerminalShowsAFloodAsOneReplyPerBoundEveryByteOnce) {
  Rig r;
  serial::SimPort& line = r.Line();
  SendByHand(r, "AT");
  std::string sent;
  for (int i = 0; sent.size() < 6000; ++i) sent += std::to_string(i) + ",";
  line.PeerSend(sent);
  r.tk.RunFor(12000);  // all of it at the line's rate, then quiet
  const std::vector<std::string> replies = Replies(r);
  std::string shown;
  for (const std::string& reply : replies) {
    EXPECT_LE(reply.size(), kLongestPiece);
    shown += reply;
  }
  EXPECT_GE(replies.size(), 4u);
  EXPECT_EQ(shown, sent);
  EXPECT_FALSE(r.LogHas("процесс прерван"));
}
