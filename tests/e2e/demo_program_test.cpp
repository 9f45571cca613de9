// zorvik-demo in real time, as its user runs it: started as its main starts
// it, НАЧАТЬ on the training modem chosen at start, the two power prompts
// answered in their message boxes.
#include <algorithm>

#include <gtest/gtest.h>

#include "bench/demo_run.h"

TEST(DemoProgram, SetsUpTheReadyTrainingModemInOneRun) {
  const bench::DemoRun run = bench::RunDemoAsOperator(*qApp);
  EXPECT_EQ(run.port, "ГОТОВ");
  EXPECT_EQ(run.status, "свободен");
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.prompts, 2);
  ASSERT_GE(run.log.size(), 2u);
  EXPECT_EQ(run.log[run.log.size() - 2],
            "УСТАНОВКА ПАРАМЕТРОВ МОДЕМА (универсальный, но  медлительный) - ЗАКОНЧИЛАСЬ УСПЕШНО");
  EXPECT_NE(std::find(run.log.begin(), run.log.end(), "ответ(без CR и LF)=^SYSSTART"), run.log.end());
}
