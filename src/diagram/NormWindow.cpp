#include "NormWindow.h"

#include "norm/CipwNorm.h"
#include "norm/NormTable.h"
#include "norm/RockName.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/dialogs/Guarded.h"
#include "schema/Column.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr norm::Names kNames[] = {norm::Names::ByRockName, norm::Names::Volcanic,
                                  norm::Names::Plutonic};
constexpr norm::IronChoice kChoices[] = {norm::IronChoice::Volcanic, norm::IronChoice::Plutonic,
                                         norm::IronChoice::Middlemost, norm::IronChoice::Analysed};

QTableWidget* makeTable(const QStringList& headings) {
    auto* t = new QTableWidget(0, headings.size());
    t->setHorizontalHeaderLabels(headings);
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->setFocusPolicy(Qt::NoFocus);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setStretchLastSection(true);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        // Numbers line up on their decimal point.
        if (c == cells.size() - 1)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(row, c, item);
    }
}

} // namespace

NormWindow::NormWindow(DataControl* data, RecordsetModel* gridModel)
    : QWidget(nullptr, Qt::Window), data_(data) {
    setObjectName("NormWindow");
    setWindowTitle("CIPW Norm");
    row_ = new QLabel;
    row_->setObjectName("row");
    row_->setTextFormat(Qt::PlainText);
    iron_ = new QComboBox;
    iron_->setObjectName("iron");
    for (norm::IronChoice c : kChoices)
        iron_->addItem(norm::ironDescription(c));
    names_ = new QComboBox;
    names_->setObjectName("names");
    for (norm::Names n : kNames)
        names_->addItem(norm::namesDescription(n));
    name_ = new QLabel;
    name_->setObjectName("name");
    name_->setWordWrap(true);
    name_->setTextFormat(Qt::PlainText);
    QFont big = name_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.2);
    name_->setFont(big);
    minerals_ = makeTable({"Mineral", "", "wt %"});
    minerals_->setObjectName("minerals");
    analysis_ = makeTable({"Oxide", "wt %"});
    analysis_->setObjectName("analysis");
    summary_ = new QLabel;
    summary_->setObjectName("summary");
    summary_->setWordWrap(true);
    summary_->setTextFormat(Qt::RichText);

    auto* form = new QFormLayout;
    form->addRow("Iron split:", iron_);
    form->addRow("Names:", names_);
    auto* tables = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel("Normative minerals"));
    left->addWidget(minerals_, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel("Analysis: iron split, 100 % free of water"));
    right->addWidget(analysis_, 1);
    tables->addLayout(left, 3);
    tables->addLayout(right, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(row_);
    layout->addLayout(form);
    layout->addWidget(name_);
    layout->addLayout(tables, 1);
    layout->addWidget(summary_);
    resize(600, 600);

    connect(iron_, &QComboBox::currentIndexChanged, this, guarded([this] { followCurrentRow(); }));
    connect(names_, &QComboBox::currentIndexChanged, this, guarded([this] { followCurrentRow(); }));
    connect(data_->view(), &View::positionChanged, this, guarded([this] { followCurrentRow(); }));
    connect(data_->view(), &View::recordsetChanged, this, guarded([this] { followCurrentRow(); }));
    connect(gridModel, &RecordsetModel::rowWritten, this, [this](long row) {
        if (row == data_->view()->position())
            runGuarded([this] { followCurrentRow(); });
    });
}

norm::IronChoice NormWindow::ironChoice() const {
    return kChoices[std::max(0, iron_->currentIndex())];
}

void NormWindow::setIronChoice(norm::IronChoice choice) {
    for (int i = 0; i < static_cast<int>(std::size(kChoices)); ++i)
        if (kChoices[i] == choice)
            iron_->setCurrentIndex(i);
}

void NormWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    runGuarded([this] { followCurrentRow(); });
}

void NormWindow::clear(const QString& why) {
    name_->setText(why);
    name_->setStyleSheet({});
    minerals_->setRowCount(0);
    analysis_->setRowCount(0);
    summary_->clear();
}

void NormWindow::followCurrentRow() {
    if (!isVisible())
        return; // read again when shown
    View* view = data_->view();
    const long row = view->position();
    if (row < 0) {
        row_->setText("No current row.");
        clear({});
        return;
    }
    QStringList who;
    for (schema::Column column : schema::kSampleName) {
        const QString text =
            QString::fromStdString(view->valueAt(row, schema::index(column)).storedText())
                .trimmed();
        if (!text.isEmpty())
            who << text;
    }
    row_->setText(QString("Row %1 of the view%2")
                      .arg(row + 1)
                      .arg(who.isEmpty() ? "" : ": " + who.join("  ")));

    const norm::Norm n = norm::computeNorm(
        norm::Analysis::fromCells(view->fieldCount(),
                                  [&](int c) -> const engine::Value& { return view->valueAt(row, c); }),
        ironChoice());
    if (!n.valid) {
        clear("No norm: " + QString::fromStdString(n.reason) + ".");
        name_->setStyleSheet("color: #a00000");
        return;
    }
    name_->setText(QString::fromStdString(
        norm::rockName(n, kNames[static_cast<std::size_t>(std::max(0, names_->currentIndex()))])));
    name_->setStyleSheet({});

    int shown = 0;
    for (int m = 0; m < norm::kMineralCount; ++m)
        shown += norm::table::fixed2(n.mineral[m]) != "0.00";
    minerals_->setRowCount(shown + 1);
    int r = 0;
    for (int m = 0; m < norm::kMineralCount; ++m) {
        const std::string value = norm::table::fixed2(n.mineral[m]);
        if (value == "0.00")
            continue;
        const auto& name = norm::mineralName(m);
        QString written = name.name;
        written[0] = written[0].toUpper();
        setRow(minerals_, r++, {written, name.abbreviation, QString::fromStdString(value)});
    }
    setRow(minerals_, r, {"Sum", "", QString::fromStdString(norm::table::fixed2(n.sum))});
    QFont bold = minerals_->font();
    bold.setBold(true);
    for (int c = 0; c < 3; ++c)
        minerals_->item(r, c)->setFont(bold);

    analysis_->setRowCount(0);
    for (int o = 0; o < norm::kOxideCount; ++o) {
        if (o == norm::H2Op || o == norm::H2Om)
            continue;
        const std::string value = norm::table::fixed2(n.adjusted[o]);
        if (value == "0.00" && o > norm::P2O5)
            continue; // a minor oxide the row does not have
        const int at = analysis_->rowCount();
        analysis_->setRowCount(at + 1);
        setRow(analysis_, at, {norm::oxideName(o), QString::fromStdString(value)});
    }

    QStringList facts;
    facts << "Mg# " + (std::isnan(n.mgNumber)
                           ? QString("-")
                           : QString::fromStdString(norm::table::fixed2(n.mgNumber)));
    facts << "DI " + QString::fromStdString(norm::table::fixed2(n.di));
    facts << "CIA " + (std::isnan(n.cia) ? QString("-")
                                         : QString::fromStdString(norm::table::fixed2(n.cia)));
    facts << "Oxides as analysed: " + QString::fromStdString(norm::table::fixed2(n.analysedSum)) +
                 " %";
    QString text = facts.join(" \u00b7 ");
    QStringList warnings;
    if (n.sumOutOfRange())
        warnings << QString("The analysis sums to %1 %, far from 100: the norm is computed but may "
                            "not be trusted.")
                        .arg(QString::fromStdString(norm::table::fixed2(n.analysedSum)));
    if (n.silicaDeficit > 0)
        warnings << QString("%1 % SiO2 is lacking even after kaliophilite.")
                        .arg(QString::fromStdString(norm::table::fixed2(n.silicaDeficit)));
    if (!warnings.isEmpty())
        text += "<br><span style='color:#a00000'>" + warnings.join(" ").toHtmlEscaped() + "</span>";
    text += "<br>Verma et al. (2002, 2003) standard igneous norm.";
    summary_->setText(text);
}
