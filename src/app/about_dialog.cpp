// The About box.
#include "app/about_dialog.hpp"

#include <QDialogButtonBox>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "app/ui_seam.hpp"
#include "base/version.hpp"

namespace statvtk::app {

namespace {

const char* const kLicence =
    "Лицензионное соглашение\n\n"
    "Программа StatVTK предоставляется \"как есть\", без каких-либо гарантий, явных или "
    "подразумеваемых, включая гарантии пригодности для определенной цели. Авторы не несут "
    "ответственности за ущерб, возникший в результате использования программы или "
    "невозможности ее использования.\n\n"
    "Разрешается свободно использовать, копировать и распространять программу при условии "
    "сохранения этого текста. Данные, прочитанные из приборов, принадлежат их владельцам.";

constexpr const char* kSite = "https://github.com/statvtk/statvtk";
constexpr const char* kGuide = "https://github.com/statvtk/statvtk/blob/main/docs/user-guide.md";

void Colour(QLabel* l, const char* colour) {
  l->setText(QStringLiteral("<a href=\"%1\" style=\"color:%2\">%3</a>")
                 .arg(l->property("url").toString(), QString::fromLatin1(colour), l->property("shown").toString()));
}

}  // namespace

AboutDialog::AboutDialog(UiSeam& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
  setWindowTitle(QStringLiteral("О программе"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
  const auto version = StatvtkVersion();
  title_ = new QLabel(
      QStringLiteral("StatVTK ") + QString::fromUtf8(version.data(), static_cast<qsizetype>(version.size())), this);
  QFont big = title_->font();
  big.setPointSize(big.pointSize() + 6);
  big.setBold(true);
  title_->setFont(big);
  title_->setAlignment(Qt::AlignCenter);

  auto* picture = new QLabel(this);
  picture->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(64, 64));
  picture->setAlignment(Qt::AlignCenter);

  auto* licence = new QPlainTextEdit(QString::fromUtf8(kLicence), this);
  licence->setReadOnly(true);
  licence->setMinimumSize(380, 140);

  auto* maker = new QLabel(QStringLiteral("Проект StatVTK: сервисная программа для расходомеров "
                                          "ВТК-08.12, ВТК-08.14 и ЛДН-08"),
                           this);
  maker->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("O&K"), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* box = new QVBoxLayout(this);
  box->addWidget(title_);
  box->addWidget(picture);
  box->addWidget(licence);
  box->addWidget(maker);
  box->addWidget(Link(QString::fromLatin1(kSite), QStringLiteral("Сайт проекта")));
  box->addWidget(Link(QString::fromLatin1(kGuide), QStringLiteral("Руководство пользователя")));
  box->addWidget(buttons);
}

QLabel* AboutDialog::Link(const QString& url, const QString& text) {
  auto* l = new QLabel(this);
  l->setProperty("url", url);
  l->setProperty("shown", text);
  l->setCursor(Qt::PointingHandCursor);
  l->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  Colour(l, "blue");
  l->installEventFilter(this);
  connect(l, &QLabel::linkActivated, this, [this](const QString& link) { ui_.OpenExternally(QUrl(link)); });
  return l;
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
  if (auto* l = qobject_cast<QLabel*>(watched)) {
    if (event->type() == QEvent::Enter) Colour(l, "purple");
    else if (event->type() == QEvent::Leave) Colour(l, "blue");
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace statvtk::app
