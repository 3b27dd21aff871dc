#pragma once
// Where and how the new jobs of the "Add New Job" dialog are saved: folder, category, parts,
// user agent, proxy and login. The dialog has two of them, one on the single-file panel and one
// on the save-option panel the other modes share; each keeps the object names it always had.

#include <QString>
#include <QWidget>

class CategoryTree;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
struct SaveOptions;

class SaveOptionsBox : public QWidget {
    Q_OBJECT
public:
    struct Names {
        QString saveAs, browse, category, newCategory, parts, userAgent, proxy, proxyButton, login,
            user, password;
    };
    // Compact: the single-file panel's rows (parts and user agent share one); Full: a row each.
    enum Layout { Compact, Full };

    SaveOptionsBox(const Names& names, Layout layout, QWidget* parent = nullptr);

    // The boxes' values; Manual is left false (the start choice is the dialog's).
    SaveOptions Read() const;
    // The save folder becomes the chosen category's folder.
    void ApplyClass();
    // Refills the category box keeping the chosen category; when it is gone the box shows
    // "Downloaded" and the save folder follows.
    void RefillClasses(const CategoryTree& tree);
    // Refills the proxy box keeping the chosen proxy while it remains.
    void RefillProxies();

    static const QStringList& UserAgents();

    QLineEdit* saveAs;
    QPushButton* browse;
    QComboBox* category;
    QPushButton* newCategory;
    QComboBox* parts;
    QComboBox* userAgent;
    QComboBox* proxy;
    QPushButton* proxyButton;
    QCheckBox* login;
    QLineEdit* user;
    QLineEdit* password;

signals:
    // The category and proxy buttons: the dialog opens what they ask for.
    void CategoryAsked();
    void ProxyAsked();

private:
    void Browse();
    void SetLogin(bool on);
};
