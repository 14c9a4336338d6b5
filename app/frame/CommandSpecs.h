// The commands of the main window, one record each: the id its menu entry
// and toolbar button carry, what the frame does, whether it talks to the
// devices, when it is enabled and which help page describes it. The table is
// CMainFrame::CommandSpecs() (CommandSpecs.cpp); a command enters the program
// by its row there and nowhere else.
//
// A row names every field: a row without its handler, rule or help page does
// not build, nor does a table that lists an id twice. A menu entry without a
// row is never enabled, and the test of the table holds the shipped menu to
// exactly its rows.
#pragma once

#include "app/frame/rules/CommandRules.h"

#include <span>
#include <string>

class CMainFrame;

namespace qmx::commands {

// Whether a command talks to the devices. Such a command never starts while
// an operation runs under the progress window.
enum class Online : bool { kNo, kYes };

struct CommandSpec {
  using Handler = void (*)(CMainFrame& frame);

  // The rule is taken by reference, so it cannot be null; the table is made
  // while it is compiled, so a null handler or an empty page stops the build.
  consteval CommandSpec(int commandId, Handler run, Online talks, bool (&enabled)(const CommandContext&),
                        const char* page)
      : id(commandId), handler(run), online(talks == Online::kYes), rule(&enabled), help(page) {
    if (!run || !page || !*page) throw "a command needs its handler and its help page";
  }

  int id;
  Handler handler;
  bool online;
  CommandRule rule;
  const char* help;  // "Page.htm" or "Page.htm#place" of the Help folder
};

// Whether no id is listed twice.
consteval bool IdsAreDistinct(std::span<const CommandSpec> specs) {
  for (size_t i = 0; i < specs.size(); ++i) {
    for (size_t j = i + 1; j < specs.size(); ++j) {
      if (specs[i].id == specs[j].id) return false;
    }
  }
  return true;
}

// The help page of a menu entry: its command's page, that of the recent
// files, or for a bar of the View menu the page of the windows; empty for an
// id no menu entry has.
std::string CommandHelpPage(int commandId);

}  // namespace qmx::commands
