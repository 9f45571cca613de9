// The real window in real time against a small scripted responder on the
// other side of a pseudo-terminal.
#include <gtest/gtest.h>

#include <QPushButton>
#include <atomic>
#include <cstdint>
#include <poll.h>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/umset.h"
#include "toolkit/codepage.h"
#include "toolkit/qt_toolkit.h"

TEST(WindowOverPty, StartSendsAtiAndTheReplyIsLogged) {
  int master = -1, slave = -1;
  char name[128];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  close(slave);
  std::atomic<bool> stop{false};
  std::string received;
  std::thread responder([&] {
    std::string line;
    while (!stop) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
      char buf[256];
      const ssize_t n = read(master, buf, sizeof buf);
      for (ssize_t i = 0; i < n; ++i) {
        received += buf[i];
        if (buf[i] != '\r') {
          line += buf[i];
          continue;
        }
        if (line == "ATI") {
          const std::string reply = "ATI\r\r\nSIEMENS\r\nC35i\r\nREVISION 01.05\r\n\r\nOK\r\n";
          ssize_t w = write(master, reply.data(), reply.size());
          (void)w;
        }
        line.clear();
      }
    }
  });

  toolkit::QtToolkit tk;
  app::TForm1 form(app::Environment{tk, serial::SystemSerialPlatform(), [&] { return std::vector<std::string>{name}; },
                                    nullptr});
  ASSERT_TRUE(form.port.Connected());
  form.BBB->click();
  const std::string want = toolkit::Cp1251("ответ(без CR и LF)=ATISIEMENSC35iREVISION 01.05OK");
  const uint32_t t0 = tk.TickCount();
  auto logged = [&] {
    for (const std::string& l : form.LogLines())
      if (l == want) return true;
    return false;
  };
  while (!logged() && tk.TickCount() - t0 < 10000) tk.WaitForEvents(50);
  const uint32_t took = tk.TickCount() - t0;
  stop = true;
  responder.join();
  close(master);
  EXPECT_TRUE(logged());
  EXPECT_EQ(received.substr(0, 4), "ATI\r");
  EXPECT_EQ(form.LogLines().front(), toolkit::Cp1251("Команда= ATI\r"));
  // Quiet detection (400-600 ms) plus the evaluation period (500 ms) at the
  // least; a slow machine takes longer, never shorter.
  EXPECT_GT(took, 800u);
}
