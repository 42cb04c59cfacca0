#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

// Every core test process runs with its own HOME and a Qt application object,
// so event loops, sockets and standard paths behave as in the program.
int main(int argc, char** argv) {
  TTestEnvironment environment;
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
