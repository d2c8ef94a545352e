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

} // namespace kelvor::jobs
