#include "ImportPreview.h"

#include "exchange/CsvImport.h"
#include "schema/Schema.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

ImportPreview::Implementation* implementation = nullptr;

QString text(const std::string& s) {
    return QString::fromStdString(s).trimmed();
}

// The choices of a column's "Into" box: none, our columns, total iron.
void fillChoices(QComboBox* box) {
    box->addItem("(left out)", -1);
    box->addItem("(kept as reported only)", ImportColumns::kKept);
    for (int c = 0; c < schema::kIdColumn; ++c)
        box->addItem(schema::kColumns[static_cast<std::size_t>(c)], c);
    box->addItem("total iron as FeO",
                 ImportColumns::kTotalIronAs + schema::index(schema::Column::FeO));
    box->addItem("total iron as Fe2O3",
                 ImportColumns::kTotalIronAs + schema::index(schema::Column::Fe2O3));
}

} // namespace

void ImportPreview::setImplementation(Implementation* impl) {
    implementation = impl;
}

ImportPreview::Answer ImportPreview::ask(const ImportPlan& plan, const QString& question,
                                         std::vector<int>& mapping,
                                         CsvImport::Duplicates& duplicates, QWidget* parent) {
    if (implementation) {
        duplicates = implementation->duplicates(plan);
        return implementation->ask(plan, question, mapping);
    }
    ImportPreview dialog(plan, question, parent);
    dialog.exec();
    mapping = dialog.mapping();
    duplicates = dialog.duplicates();
    return dialog.answer();
}

QString ImportPreview::chooseSheet(const QString& file, const QStringList& sheets,
                                   QWidget* parent) {
    if (implementation)
        return implementation->chooseSheet(file, sheets);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(
        parent, "Import CSV",
        QString("'%1' has several sheets. Which one is to be imported?").arg(file), sheets, 0,
        false, &ok);
    return ok ? chosen : QString();
}

ImportPreview::ImportPreview(const ImportPlan& plan, const QString& question, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Import CSV");
    setObjectName("ImportPreview");
    auto* layout = new QVBoxLayout(this);

    auto* file = new QLabel(text(plan.describeFile()));
    file->setObjectName("file");
    file->setWordWrap(true);
    file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(file);

    const auto& sources = plan.columns.sources;
    auto* table = new QTableWidget(static_cast<int>(sources.size()), 4);
    table->setObjectName("columns");
    table->setHorizontalHeaderLabels({"Column of the file", "Unit", "Into", "Conversion or note"});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const auto& s = sources[i];
        const int row = static_cast<int>(i);
        table->setItem(row, 0, new QTableWidgetItem(text(s.header)));
        table->setItem(row, 1, new QTableWidgetItem(text(s.unit)));
        auto* box = new QComboBox;
        fillChoices(box);
        const int code = plan.columns.code(i);
        box->setCurrentIndex(std::max(0, box->findData(code)));
        planned_.push_back(code);
        into_.push_back(box);
        connect(box, &QComboBox::currentIndexChanged, this, [this] { mappingChanged(); });
        table->setCellWidget(row, 2, box);
        std::string note = !s.conversion.empty() ? s.conversion : s.why;
        if (s.target < 0 && s.totalIron >= 0)
            note = "total iron: kept where a row gives neither FeO nor Fe2O3" +
                   (note.empty() ? std::string() : "; " + note);
        if (const std::string kept = plan.columns.keptText(i); !kept.empty())
            note += (note.empty() ? "" : "; ") + kept;
        table->setItem(row, 3, new QTableWidgetItem(text(note)));
    }
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table, 2);

    auto* rows = new QPlainTextEdit(text(plan.describeRows()));
    rows->setObjectName("rows");
    rows->setReadOnly(true);
    layout->addWidget(rows, 1);

    if (plan.duplicates > 0) {
        auto* row = new QHBoxLayout;
        auto* label =
            new QLabel(QString("Samples the table holds already (%1):").arg(plan.duplicates));
        duplicates_ = new QComboBox;
        duplicates_->setObjectName("duplicates");
        duplicates_->addItem("Leave them out", static_cast<int>(CsvImport::Duplicates::Skip));
        duplicates_->addItem("Import them beside the others",
                             static_cast<int>(CsvImport::Duplicates::Keep));
        duplicates_->addItem("Replace the others",
                             static_cast<int>(CsvImport::Duplicates::Replace));
        label->setBuddy(duplicates_);
        row->addWidget(label);
        row->addWidget(duplicates_, 1);
        layout->addLayout(row);
    }

    auto* ask = new QLabel(question);
    ask->setObjectName("question");
    ask->setWordWrap(true);
    layout->addWidget(ask);

    auto* buttons = new QDialogButtonBox;
    import_ = buttons->addButton("Import", QDialogButtonBox::AcceptRole);
    readAgain_ = buttons->addButton("Read Again", QDialogButtonBox::ActionRole);
    readAgain_->setEnabled(false);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    import_->setDefault(true);
    connect(import_, &QPushButton::clicked, this, [this] {
        answer_ = Answer::Import;
        accept();
    });
    connect(readAgain_, &QPushButton::clicked, this, [this] {
        answer_ = Answer::ReadAgain;
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] {
        answer_ = Answer::Cancel;
        reject();
    });
    layout->addWidget(buttons);

    // As large as the screen allows, no larger.
    const QRect screen =
        (parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen())
            ->availableGeometry();
    resize(std::min(860, screen.width() - 40), std::min(640, screen.height() - 60));
}

CsvImport::Duplicates ImportPreview::duplicates() const {
    return duplicates_ ? static_cast<CsvImport::Duplicates>(duplicates_->currentData().toInt())
                       : CsvImport::Duplicates::Skip;
}

std::vector<int> ImportPreview::mapping() const {
    std::vector<int> codes;
    for (QComboBox* box : into_)
        codes.push_back(box->currentData().toInt());
    return codes;
}

void ImportPreview::mappingChanged() {
    // Counts and bad rows belong to the mapping read; a new one is read
    // again before it can be imported.
    const bool changed = mapping() != planned_;
    import_->setEnabled(!changed);
    readAgain_->setEnabled(changed);
    readAgain_->setDefault(changed);
    import_->setDefault(!changed);
}
