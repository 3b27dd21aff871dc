#include "newjob/SaveOptionsBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "newjob/NewJobBuilder.h"
#include "store/CategoryTree.h"
#include "store/JobRecord.h"
#include "tree/NamedWidgets.h"
#include "widgets/DialogHooks.h"
#include "widgets/ProxyCombo.h"
#include "widgets/TreeFill.h"

SaveOptionsBox::SaveOptionsBox(const Names& names, Layout layout, QWidget* parent)
    : QWidget(parent) {
    using W = NamedWidgets;
    saveAs = W::LineEdit(names.saveAs);
    browse = W::Button(QStringLiteral("&Browse"), names.browse);
    category = W::Combo(names.category, false);
    newCategory = W::Button(QStringLiteral("&Category"), names.newCategory);
    parts = W::Combo(names.parts, true);
    for (int i = 1; i <= kMaxParts; ++i) parts->addItem(QString::number(i));
    parts->setMinimumContentsLength(3);
    userAgent = W::Combo(names.userAgent, true);
    userAgent->addItems(UserAgents());
    userAgent->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    userAgent->setMinimumContentsLength(20);
    proxy = W::Combo(names.proxy, false);
    proxyButton = W::Button(QStringLiteral("&Proxy"), names.proxyButton);
    login = new QCheckBox(QStringLiteral("Login Server"));
    login->setObjectName(names.login);
    user = W::LineEdit(names.user);
    password = W::LineEdit(names.password);
    password->setEchoMode(QLineEdit::Password);

    const bool compact = layout == Compact;
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setColumnStretch(1, 1);
    int row = 0;
    grid->addWidget(
        W::Caption(compact ? QStringLiteral("Save To:") : QStringLiteral("Save As:"), saveAs), row,
        0);
    grid->addWidget(saveAs, row, 1);
    grid->addWidget(browse, row++, 2);
    grid->addWidget(W::Caption(QStringLiteral("Category:"), category), row, 0);
    grid->addWidget(category, row, 1);
    grid->addWidget(newCategory, row++, 2);
    auto* partsRow = new QHBoxLayout;
    partsRow->addWidget(parts);
    if (compact) {
        partsRow->addSpacing(12);
        partsRow->addWidget(W::Caption(QStringLiteral("User Agent:"), userAgent));
        partsRow->addWidget(userAgent, 1);
    } else {
        partsRow->addStretch(1);
    }
    grid->addWidget(W::Caption(QStringLiteral("Part:"), parts), row, 0);
    grid->addLayout(partsRow, row++, 1, 1, 2);
    if (!compact) {
        grid->addWidget(W::Caption(QStringLiteral("User Agent:"), userAgent), row, 0);
        grid->addWidget(userAgent, row++, 1, 1, 2);
    }
    grid->addWidget(
        W::Caption(compact ? QStringLiteral("Proxy:") : QStringLiteral("Proxy Server:"), proxy),
        row, 0);
    grid->addWidget(proxy, row, 1);
    grid->addWidget(proxyButton, row++, 2);
    auto* loginRow = new QHBoxLayout;
    loginRow->addWidget(login);
    loginRow->addSpacing(12);
    loginRow->addWidget(W::Caption(QStringLiteral("Username:"), user));
    loginRow->addWidget(user, 1);
    loginRow->addWidget(
        W::Caption(compact ? QStringLiteral("Password") : QStringLiteral("Password:"), password));
    loginRow->addWidget(password, 1);
    grid->addLayout(loginRow, row++, 0, 1, 3);

    connect(category, &QComboBox::activated, this, &SaveOptionsBox::ApplyClass);
    connect(browse, &QPushButton::clicked, this, &SaveOptionsBox::Browse);
    connect(login, &QCheckBox::toggled, this, &SaveOptionsBox::SetLogin);
    connect(newCategory, &QPushButton::clicked, this, &SaveOptionsBox::CategoryAsked);
    connect(proxyButton, &QPushButton::clicked, this, &SaveOptionsBox::ProxyAsked);
    SetLogin(false);
}

const QStringList& SaveOptionsBox::UserAgents() {
    static const QStringList agents{
        QStringLiteral("Quorvanta 0.1"),
        QStringLiteral("Mozilla/4.06 [en] (Win98; I)"),
        QStringLiteral("Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)"),
        QStringLiteral("Mozilla/4.0 (Windows 95;US) Opera 3.60  [en]"),
    };
    return agents;
}

SaveOptions SaveOptionsBox::Read() const {
    SaveOptions options;
    options.ClassKey = category->currentData(TreeRoles::Key).toString();
    options.Folder = saveAs->text();
    options.PartsText = parts->currentText();
    options.UserAgent = userAgent->currentText();
    options.ProxyIndex = proxy->currentIndex();
    options.ProxyText = proxy->currentText();
    options.UseLogin = login->isChecked();
    options.UserName = user->text();
    options.Password = password->text();
    return options;
}

void SaveOptionsBox::ApplyClass() {
    if (category->currentIndex() < 0) return;
    saveAs->setText(category->currentData(TreeRoles::Tag).toString());
}

void SaveOptionsBox::RefillClasses(const CategoryTree& tree) {
    const QString key = category->currentData(TreeRoles::Key).toString();
    FillClassCombo(category, tree);
    const int index = FindComboKey(category, key);
    if (index >= 0) category->setCurrentIndex(index);
    // A save folder follows its box when the category it came from was removed.
    if (index < 0 && !key.isEmpty()) ApplyClass();
}

void SaveOptionsBox::RefillProxies() {
    const QString text = proxy->currentIndex() > 0 ? proxy->currentText() : QString();
    FillProxyCombo(proxy);
    if (!text.isEmpty()) {
        const int index = proxy->findText(text);
        if (index > 0) proxy->setCurrentIndex(index);
    }
}

void SaveOptionsBox::Browse() {
    QPointer<QLineEdit> box(saveAs);
    DialogHooks::PickFolder(window(), saveAs->text(), [box](const QString& chosen) {
        if (!box || chosen.isEmpty()) return;
        QString folder = chosen;
        if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
        box->setText(folder);
    });
}

void SaveOptionsBox::SetLogin(bool on) {
    for (QLineEdit* box : {user, password}) {
        box->setEnabled(on);
        QPalette palette = box->palette();
        const QColor base =
            on ? QColor(Qt::white) : QApplication::palette().color(QPalette::Button);
        palette.setColor(QPalette::Active, QPalette::Base, base);
        palette.setColor(QPalette::Inactive, QPalette::Base, base);
        palette.setColor(QPalette::Disabled, QPalette::Base, base);
        box->setPalette(palette);
    }
}
