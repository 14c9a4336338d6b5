// Definitions, objects and an error list built in code for the dialog tests,
// with the model's message boxes answered from a queue and recorded.
#pragma once

#include "tests/support/model_log_capture.h"
#include "tests/support/program_services.h"

#include "app/model/IODef.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NADef.h"
#include "app/model/NAUsr.h"
#include "app/model/Services.h"
#include "app/model/TextIdList.h"
#include "common/Utility.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

class DialogTest : public qmx::test::ProgramServicesTest {
protected:
  void SetUp() override {
    ProgramServicesTest::SetUp();
    qmx::Services().messageBox = [this](const std::string& text, unsigned) {
      boxes.push_back(text);
      if (answers.empty()) return qmx::kBoxIdYes;
      const int answer = answers.front();
      answers.pop_front();
      return answer;
    };
    for (int code : {-101, -106, -111, -107, -109, -110}) {
      const std::string key = StrFormat("ID_Ferrow_%d", code);
      errors[key] = ErrorInfo{key, code, "Class", StrFormat("Rule %d.", code), "Act"};
    }
    adapterDef.ID = "NA_T";
    adapterDef.category = "NA";
    adapterDef.modelName = "QMX-T";
    adapterDef.maxPowerForIOs.value = "1000";
    adapter.SetNADef(&adapterDef);
  }

  // A module definition: power dissipation, field-power group ("" none),
  // cut-off before, free next, system power added, communicating.
  const IODef* Def(int power, const char* fieldPower = "", int cutoff = 0, int freeNext = 0, int expansion = 0,
                   int communicates = 1) {
    auto def = std::make_unique<IODef>();
    def->ID = StrFormat("IO_%zu", defs.size());
    def->description = StrFormat("Module %zu", defs.size());
    def->powerDissipation.value = std::to_string(power);
    def->fieldPower.value = fieldPower;
    def->fieldPwrCutoffBefore = cutoff;
    def->fieldPwrFreeNext = freeNext;
    def->systemPwrExpansion = expansion;
    def->canCommunication = communicates;
    defs.push_back(std::move(def));
    return defs.back().get();
  }
  // A present module of a definition, numbered and named.
  CIOUsr* Present(const IODef* def, const std::string& name) {
    auto module = std::make_unique<CIOUsr>();
    module->SetIODef(def);
    module->SetName(name);
    module->posNo = static_cast<int>(modules.size()) + 1;
    modules.push_back(std::move(module));
    return modules.back().get();
  }
  std::vector<CIOUsr*> PresentList() const {
    std::vector<CIOUsr*> list;
    for (const auto& m : modules) list.push_back(m.get());
    return list;
  }

  ModelLogCapture log;
  std::vector<std::string> boxes;
  std::deque<int> answers;
  ErrorMap errors;
  NADef adapterDef;
  CNAUsr adapter;
  std::vector<std::unique_ptr<IODef>> defs;
  std::vector<std::unique_ptr<CIOUsr>> modules;
};
