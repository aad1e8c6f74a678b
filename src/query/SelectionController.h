#pragma once

#include "form/MainForm.h"

#include <QString>

// Record selection: the Active Database menu, the search bar's Find and
// Refresh, and the sorts of the Sort menu. Each command starts its engine
// work and returns; it finishes when the view's count is known.
class SelectionController {
public:
    // Connects the menu items and buttons of record selection.
    explicit SelectionController(MainForm& form);

    void mnuActive1_Click(short Index);
    void Command1_Click(short Index);
    void mnuRockname_Click();
    void mnuGeologist_Click();
    void mnuDate_Click();
    void mnuLocation_Click();
    void mnuSample_Click();
    void mnuRocknameD_Click();
    void mnuGeologistD_Click();
    void mnuDateD_Click();
    void mnuLocationD_Click();
    void mnuSampleD_Click();

    // Shows the rows of a search's statement and their count ("N Matches");
    // none found, the whole table again and "No Matches". For the search
    // bar and the other finds alike.
    static void showMatches(MainForm& form, const QString& statement, MainForm::Then done,
                            MainForm::Failed failed);

private:
    void sortBy(const QString& orderClause);

    MainForm& form_;
};
