#include "TextImporter.h"

#include "codecs/model/Stream.h"
#include "document/RtfText.h"
#include "document/ui/BitmapImage.h"

#include <QImage>
#include <QPainter>
#include <QStringDecoder>
#include <QTextDocument>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

namespace lumara {

QString ReadTextDocument(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    std::string data(bytes.begin(), bytes.end());
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    if (ext == ".RTF") return QString::fromStdString(RtfToText(data));
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(QByteArrayView(data.data(), qsizetype(data.size())));
    if (utf8.hasError()) text = QString::fromLatin1(data.data(), qsizetype(data.size()));
    return text;
}

Bitmap RenderTextPage(const QString& text, int width, int height, const QFont& font)
{
    width = std::max(width, 16);
    height = std::max(height, 16);
    Bitmap page(width, height, 24);
    page.Fill(0xFFFFFF);
    QImage view(page.Bits(), width, height, page.RowBytes(), QImage::Format_BGR888);
    QTextDocument doc;
    doc.setDefaultFont(font);
    doc.setPlainText(text);
    doc.setTextWidth(width);
    doc.setDocumentMargin(4);
    QPainter painter(&view);
    painter.setRenderHint(QPainter::TextAntialiasing);
    doc.drawContents(&painter, QRectF(0, 0, width, height));
    painter.end();
    return page;
}

} // namespace lumara
