#include "app/gui/SelectDialog.h"

#include <QAbstractItemModel>
#include <QIcon>

#include "app/gui/FramelessWindow.h"
#include "app/gui/UiScale.h"
#include "ui_SelectDialog.h"

namespace {

constexpr int kItemHeight = 28;

}  // namespace

SelectDialog::SelectDialog(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::SelectDialog>()) {
    m_ui->setupUi(this);
    FramelessWindow::setupDialog(this, parent);
    FramelessWindow::setupPopup(m_ui->comboBox);
}

SelectDialog::~SelectDialog() = default;

int SelectDialog::select(QString const& title, QString const& text, QStringList const& items, int current) {
    if (items.isEmpty()) return -1;
    m_ui->labelTitle->setText(title);
    m_ui->labelMsg->setText(text);
    m_ui->comboBox->clear();
    for (QString const& item : items)
        m_ui->comboBox->addItem(QIcon(), item);
    QAbstractItemModel* model = m_ui->comboBox->model();
    QSize hint(0, UiScale::scaled(kItemHeight));
    for (int row = 0; row < model->rowCount(); ++row)
        model->setData(model->index(row, 0), hint, Qt::SizeHintRole);
    m_ui->comboBox->setFocus();
    m_ui->comboBox->setCurrentIndex(current >= 0 && current < items.size() ? current : -1);
    if (exec() == QDialog::Accepted) return m_ui->comboBox->currentIndex();
    m_ui->comboBox->clear();
    return -1;
}

void SelectDialog::on_btnClose_clicked() { close(); }

void SelectDialog::on_btn_2_clicked() { close(); }

void SelectDialog::on_btn_1_clicked() { accept(); }
