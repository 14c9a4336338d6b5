// The main of every test program that makes windows: one QApplication for the
// whole run, on the offscreen platform that test_environment.cpp chose, made
// before the first test and gone when main returns, ahead of the static
// objects of Qt (its input devices) and of the libraries below, whose caches
// it lets go of (fontconfig's; else the leak check at exit reports them to
// its suppressions, which costs a symbolizer run in every test).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The application keeps the arguments it is given for its whole life.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  return RUN_ALL_TESTS();
}
