#pragma once
// The job's view of the pages: reading JobInputs from the page models and showing the charger
// selections on the configuration-word list page.
#include "base/station/control_model.h"
#include "jobs/job_inputs.h"

namespace kelvor {
class CQORVENDlg;
}

namespace kelvor::jobs {

ChargerSelections chargerSelections(const PageModel& configList);
void showChargerSelections(PageModel& configList, const ChargerSelections& s);
// Every value a job reads, from the pages as they stand now.
JobInputs readJobInputs(CQORVENDlg& station);
// Puts values into the pages as an operator would have entered them (the command line's job
// options); readJobInputs gives them back.
void showJobInputs(CQORVENDlg& station, const JobInputs& in);

// The side files a job sends ahead of the chip image: the EEPROM file of the settings page and the
// factory file of the factory configuration page. Each page keeps the current file equal to the
// entry its list shows (eepromPath, factoryPath).
enum class SideFile { Eeprom, Factory };
// Shows the recent files in the page's list with entry 0, the newest, as the current file.
void showSideFiles(CQORVENDlg& station, SideFile which);
// Makes `path` the current file, at the front of the recent files (not stored); empty: none.
void showSideFile(CQORVENDlg& station, SideFile which, const std::string& path);
// The operator actions of the settings and factory configuration pages.
void connectOptionPages(CQORVENDlg& station);

} // namespace kelvor::jobs
