#include "graph/ReportPdf.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <memory>

namespace quellmarin {

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Lays the report out on pages from top to bottom; coordinates in points.
class PageWriter {
  public:
    PageWriter(QPdfWriter& pdf, QPainter& painter) : pdf_(pdf), p_(painter) {
        width_ = pdf.width();
        height_ = pdf.height();
    }
    int Pages() const { return pages_; }
    double Width() const { return width_; }

    // Starts a new page unless `space` points are left on this one.
    void Need(double space) {
        if (y_ + space <= height_) return;
        pdf_.newPage();
        ++pages_;
        y_ = 0;
    }
    void Skip(double space) { y_ += space; }
    double Y() const { return y_; }

    // One line of text at the cursor, cut with an ellipsis where it would pass `width`.
    void Text(double x, double width, const std::string& text, const QFont& font) {
        p_.setFont(font);
        const QFontMetricsF fm(font);
        p_.drawText(QPointF(x, y_ + fm.ascent()), fm.elidedText(Q(text), Qt::ElideRight, width));
    }
    void Line(double lineHeight) { y_ += lineHeight; }

    // Text broken at spaces into lines no wider than `width`, one `lineHeight` each; a word too long
    // for a line of its own is cut with an ellipsis. Returns the lines drawn.
    static QStringList Wrap(const std::string& text, double width, const QFont& font) {
        const QFontMetricsF fm(font);
        QStringList lines;
        QString line;
        for (const QString& word : Q(text).split(' ', Qt::SkipEmptyParts)) {
            const QString candidate = line.isEmpty() ? word : line + ' ' + word;
            if (line.isEmpty() || fm.horizontalAdvance(candidate) <= width) {
                line = candidate;
                continue;
            }
            lines << fm.elidedText(line, Qt::ElideRight, width);
            line = word;
        }
        if (!line.isEmpty() || lines.isEmpty()) lines << fm.elidedText(line, Qt::ElideRight, width);
        return lines;
    }
    void Paragraph(double x, const QStringList& lines, const QFont& font, double lineHeight) {
        p_.setFont(font);
        const QFontMetricsF fm(font);
        for (const QString& l : lines) {
            p_.drawText(QPointF(x, y_ + fm.ascent()), l);
            y_ += lineHeight;
        }
    }

  private:
    QPdfWriter& pdf_;
    QPainter& p_;
    double width_ = 0, height_ = 0, y_ = 0;
    int pages_ = 1;
};

void DrawPicture(QPainter& p, const ReportPicture& pic, double x0, double y0, double scale,
                 const QFont& font) {
    const auto X = [&](double x) { return x0 + x * scale; };
    const auto Y = [&](double y) { return y0 + y * scale; };
    const PlotGeometry& g = pic.plot;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plot(X(g.left), Y(g.top), (g.width - 1) * scale, g.height * scale);
    p.fillRect(plot, QColor(251, 251, 253));
    static const QColor kGrid[] = {QColor(227, 230, 235), QColor(185, 192, 202), QColor(86, 96, 110)};
    for (const ReportPicture::Line& l : pic.grid) {
        p.setPen(QPen(kGrid[l.weight], l.weight == 2 ? 0.9 : 0.5));
        p.drawLine(QPointF(X(l.x1), Y(l.y1)), QPointF(X(l.x2), Y(l.y2)));
    }
    p.setPen(QPen(QColor(138, 148, 163), 0.6));
    p.drawRect(plot);
    QPainterPath curve;
    for (std::size_t i = 0; i < pic.curve.size(); ++i) {
        const double y =
            std::clamp(pic.curve[i], static_cast<double>(g.top), static_cast<double>(g.top + g.height));
        const QPointF pt(X(g.left + static_cast<double>(i)), Y(y));
        if (i == 0)
            curve.moveTo(pt);
        else
            curve.lineTo(pt);
    }
    p.setClipRect(plot.adjusted(0, -1, 0, 1));
    p.setPen(QPen(QColor(217, 130, 11), 1.4));
    p.drawPath(curve);
    p.setClipping(false);
    p.setFont(font);
    p.setPen(QColor(70, 80, 92));
    const QFontMetricsF fm(font);
    for (const ReportPicture::Label& l : pic.labels) {
        const QString t = Q(l.text);
        const double x = l.alignRight ? X(l.x) - fm.horizontalAdvance(t) : X(l.x);
        p.drawText(QPointF(x, Y(l.y)), t);
    }
    p.restore();
}

} // namespace

void EnsureGuiForReports() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "quellmarin-cli";
    static char* argv[] = {name, nullptr};
    // The platform's start-up notes (a missing runtime folder, say) are no business of the tool's user.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
    qInstallMessageHandler(previous);
}

int WriteReportPdf(const SetupReport& r, const std::string& path) {
    QSaveFile file(Q(path));
    if (!file.open(QIODevice::WriteOnly)) return 0;
    QPdfWriter pdf(&file);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 14, 15, 14), QPageLayout::Millimeter);
    pdf.setResolution(72); // one unit a point
    pdf.setTitle(Q(r.title));
    pdf.setCreator("Quellmarin");
    QPainter p(&pdf);
    PageWriter page(pdf, p);
    const double W = page.Width();

    QFont title("DejaVu Sans", 15, QFont::Bold);
    QFont heading("DejaVu Sans", 11, QFont::Bold);
    QFont channel("DejaVu Sans", 9, QFont::Bold);
    QFont body("DejaVu Sans", 7.5);
    QFont label("DejaVu Sans", 7.5);
    label.setItalic(true);
    QFont small("DejaVu Sans", 6);
    const double row = 10;

    page.Text(0, W, r.title, title);
    page.Line(24);
    page.Text(0, W, "Device", heading);
    page.Line(16);
    for (const auto& [name, value] : r.device) {
        page.Text(0, 90, name, label);
        page.Text(95, W - 95, value, body);
        page.Line(row);
    }

    page.Line(8);
    page.Text(0, W, "Routing (levels in dB; an empty cell is not routed)", heading);
    page.Line(16);
    const double first = 70;
    const double cell = (W - first) / std::max<std::size_t>(1, r.routeColumns.size());
    p.setPen(QPen(QColor(185, 192, 202), 0.5));
    const auto gridRow = [&](const std::string& head, const std::vector<std::string>& cells, bool bold) {
        page.Text(0, first - 4, head, bold ? channel : body);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const double x = first + static_cast<double>(i) * cell;
            p.setPen(QPen(QColor(185, 192, 202), 0.5));
            p.drawRect(QRectF(x, page.Y() - 1, cell, row + 2));
            p.setPen(Qt::black);
            page.Text(x + 4, cell - 6, cells[i], bold ? channel : body);
        }
        page.Line(row + 2);
    };
    std::vector<std::string> columns;
    for (const std::string& c : r.routeColumns) columns.push_back("In " + c);
    gridRow("", columns, true);
    for (const auto& [output, cells] : r.routing) gridRow(output, cells, false);

    page.Line(8);
    page.Text(0, W, "Link groups", heading);
    page.Line(16);
    for (const std::string& l : r.links) {
        page.Text(0, W, l, body);
        page.Line(row);
    }

    // A channel: its settings on the left, its picture on the right with the bands under it.
    const double pictureWidth = 250, scale = pictureWidth / 440.0, textWidth = W - pictureWidth - 14;
    bool outputs = false;
    page.Line(8);
    page.Need(40);
    page.Text(0, W, "Inputs", heading);
    page.Line(16);
    for (const ReportChannel& c : r.channels) {
        std::vector<std::pair<std::string, std::string>> settings, bands;
        for (const auto& rowText : c.rows)
            (rowText.first.rfind("Band ", 0) == 0 ? bands : settings).push_back(rowText);
        const double valueWidth = (c.picture || !bands.empty() ? textWidth : W) - 64;
        std::vector<QStringList> values;
        double settingsHeight = 0;
        for (const auto& setting : settings) {
            values.push_back(PageWriter::Wrap(setting.second, valueWidth, body));
            settingsHeight += static_cast<double>(values.back().size()) * row;
        }
        const double pictureHeight = c.picture ? c.picture->height * scale : 0;
        const double right = pictureHeight + static_cast<double>(bands.size()) * row;
        const double block = 16 + std::max(settingsHeight, right) + 8;
        if (IsOutput(c.channel.section) && !outputs) {
            outputs = true;
            page.Need(30 + block);
            page.Text(0, W, "Outputs", heading);
            page.Line(16);
        }
        page.Need(block);
        const double top = page.Y();
        page.Text(0, W, c.heading, channel);
        page.Line(14);
        const double body0 = page.Y();
        for (std::size_t i = 0; i < settings.size(); ++i) {
            page.Text(0, 62, settings[i].first, label);
            page.Paragraph(64, values[i], body, row);
        }
        const double left = W - pictureWidth;
        if (c.picture) DrawPicture(p, *c.picture, left, body0, scale, small);
        double y = body0 + pictureHeight;
        for (const auto& [name, value] : bands) {
            p.setFont(body);
            p.setPen(Qt::black);
            const QFontMetricsF fm(body);
            p.drawText(QPointF(left + 20, y + fm.ascent()),
                       fm.elidedText(Q(name + ": " + value), Qt::ElideRight, pictureWidth - 20));
            y += row;
        }
        page.Skip(std::max(0.0, top + block - page.Y()));
    }
    p.end();
    const int pages = page.Pages();
    return file.commit() ? pages : 0;
}

} // namespace quellmarin
