// The "NA && IO List" docking window: the device catalogue as a tool box,
// one folder per group of the adapter list and of the module list (adapters
// first, in file order), one item per offered product with the small picture
// of its group. The catalogue readers fill it through CatalogueToolBox.
// Clicking a product opens its page of the help file; the open folder is
// kept in the user's profile and opened again at the next start.
#pragma once

#include "app/model/DescriptionReaders.h"
#include "platform/toolkit/frame_wnd.h"
#include "platform/toolkit/tool_box.h"

#include <QIcon>
#include <QList>

#include <filesystem>
#include <functional>
#include <string>

namespace qmx::os {
class Profile;
}

class CToolBoxBar : public qmx::toolkit::DockWindow, public CatalogueToolBox {
  Q_OBJECT
public:
  // The picture strip of the items: 16 by 16 pixel pictures side by side,
  // cyan (0, 255, 255) transparent, in the Image folder.
  static constexpr const char* kImageListFile = "ToolBoxList.bmp";
  static constexpr int kPictureSize = 16;
  // The help file whose pages the items open.
  static constexpr const char* kHelpFile = "QMX410Tools.chm";
  // Where the open folder is kept in the profile.
  static constexpr const char* kProfileSection = "ToolBoxBar";
  static constexpr const char* kProfileKey = "OpenFolder";

  explicit CToolBoxBar(QWidget* parent = nullptr, qmx::os::Profile* profile = nullptr);
  ~CToolBoxBar() override;

  // The picture strip to load instead of "<program folder>/Image/ToolBoxList.bmp";
  // takes effect when the bar is created.
  void SetImageListFile(const std::filesystem::path& file) { imageListFile_ = file; }

  // CatalogueToolBox: a folder at the end (its index, -1 when the bar has no
  // tool box), an item at the end of a folder (1).
  int AddFolder(const std::string& name, int image) override;
  int AddItem(int folder, const std::string& name, int image, int data) override;

  // The folder that was open when the program last ran (0 when none is kept).
  int GetLastFolder() const;
  // Opens a folder; from then on every folder the user opens is kept in the
  // profile. False when there is no such folder.
  bool OpenFolder(int folder);

  // "<program folder>/QMX410Tools.chm::/<item name>.htm".
  static std::string HelpTopic(const std::string& programFolder, const std::string& itemName);

  // The tool box's notification (the toolkit's 0x89D6 message): 1 lets the
  // toolkit go on, 0 stops it. Code 1, an item: its help page; code 7 or 8
  // while the tool box is visible: asks whether to remove the folder shortcut
  // or the folder, No gives 0.
  int OnToolBoxNotify(int code, const qmx::toolkit::ToolBoxNotify& notify);

  qmx::toolkit::ToolBox* toolBox() const { return toolBox_; }
  const QList<QIcon>& pictures() const { return pictures_; }

protected:
  int OnCreate() override;
  bool event(QEvent* event) override;

private:
  bool LoadPictures();

  qmx::os::Profile* profile_;
  qmx::toolkit::ToolBox* toolBox_ = nullptr;
  QList<QIcon> pictures_;
  std::filesystem::path imageListFile_;
  bool keepOpenFolder_ = false;
};
