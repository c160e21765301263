// What a window needs before it shows, shared by the Qt and the Win32
// window: the drive folders of the settings file, the store that reaches
// the shop's files (KESTROVA_ODBC, else the settings file's [odbc]
// template, else the SQLite store) and the journal KESTROVA_JOURNAL names.
// No toolkit: each window shows the refusal in its own message box.

#pragma once

#include <memory>
#include <string>

#include "app/combine_command.h"
#include "app/combine_journal.h"
#include "data/record_store.h"

namespace kestrova::app {

struct WindowStartup {
  std::unique_ptr<data::StoreEngine> shopEngine;
  std::unique_ptr<CombineJournal> journal;  // none when KESTROVA_JOURNAL is not set

  // The engine the combine command is to use: through the journal when there is one.
  data::StoreEngine& combineEngine() { return journal ? journal->engine() : *shopEngine; }
};

// Prepares the window's start. Returns false, with the whole message to show
// the user in `*refusal`, when a template or a journal was asked for and
// cannot be had: the window must then not start, so that nothing is combined
// otherwise than the shop asked.
bool prepareWindowStartup(WindowStartup* out, std::string* refusal);

// One click on Go in a window: the command's run on the window's boxes, then,
// with a journal, the run recorded in it; a run the journal could not record
// is told to the user.
RunReport runFromWindow(CombineCommand& command, IdBoxes& boxes, CombineJournal* journal, UserInterface& ui);

}  // namespace kestrova::app
