#include "windows/HelpWindow.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace quellmarin::ui {

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("helpWindow");
    setWindowTitle("Quellmarin help");
    setModal(false);
    auto* root = new QVBoxLayout(this);

    auto* searchRow = new QHBoxLayout;
    search_ = new QLineEdit(this);
    search_->setObjectName("helpSearch");
    search_->setAccessibleName("Search the help");
    search_->setPlaceholderText("Search the help");
    search_->setClearButtonEnabled(true);
    auto* next = new QPushButton("Find next", this);
    next->setObjectName("helpFindNext");
    next->setAccessibleName("Find the next place of the search text");
    next->setAutoDefault(false);
    found_ = new QLabel(this);
    found_->setObjectName("helpFound");
    searchRow->addWidget(search_, 1);
    searchRow->addWidget(next);
    searchRow->addWidget(found_);
    root->addLayout(searchRow);

    auto* split = new QSplitter(this);
    contents_ = new QListWidget(split);
    contents_->setObjectName("helpContents");
    contents_->setAccessibleName("Help contents");
    contents_->setWordWrap(true);
    contents_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_ = new QTextBrowser(split);
    text_->setObjectName("helpText");
    text_->setAccessibleName("Help text");
    text_->setOpenExternalLinks(true);
    split->addWidget(contents_);
    split->addWidget(text_);
    split->setStretchFactor(1, 1);
    split->setSizes({270, 600});
    root->addWidget(split, 1);

    QFile source(":/help/contents.html");
    QString html;
    if (source.open(QIODevice::ReadOnly)) html = QString::fromUtf8(source.readAll());
    text_->setHtml(html);
    // The contents are the document's section headings, each with its anchor.
    static const QRegularExpression heading(R"re(<h2><a name="([^"]+)"></a>([^<]+)</h2>)re");
    for (auto it = heading.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        auto* item = new QListWidgetItem(m.captured(2), contents_);
        item->setData(Qt::UserRole, m.captured(1));
    }
    connect(contents_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item) text_->scrollToAnchor(item->data(Qt::UserRole).toString());
    });
    connect(search_, &QLineEdit::returnPressed, this, &HelpWindow::FindNext);
    connect(next, &QPushButton::clicked, this, &HelpWindow::FindNext);
    connect(search_, &QLineEdit::textChanged, this, [this] { found_->clear(); });
    resize(900, 580);
}

bool HelpWindow::FindNext() {
    const QString word = search_->text().trimmed();
    if (word.isEmpty()) return false;
    if (text_->find(word)) {
        found_->clear();
        return true;
    }
    // From the top again.
    QTextCursor start = text_->textCursor();
    start.movePosition(QTextCursor::Start);
    text_->setTextCursor(start);
    const bool again = text_->find(word);
    found_->setText(again ? "from the top" : "not found");
    return again;
}

} // namespace quellmarin::ui
