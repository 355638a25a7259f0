#include "SqlStatement.h"

namespace Sql {

namespace {

struct Token
{
    enum class Kind
    {
        End,
        Word,
        Name,
        String,
        Number,
        Symbol,
        Bad
    } kind = Kind::End;
    QString text;
};

class Lexer
{
public:
    explicit Lexer(const QString& sql) : m_s(sql) {}

    Token next()
    {
        while (m_i < m_s.size() && m_s.at(m_i).isSpace())
            ++m_i;
        if (m_i >= m_s.size())
            return {};
        const QChar c = m_s.at(m_i);
        if (c == u'\'')
            return quoted(u'\'', Token::Kind::String, true);
        if (c == u'`')
            return quoted(u'`', Token::Kind::Name, false);
        if (c == u'[')
            return quoted(u']', Token::Kind::Name, false);
        if (c.isDigit() || ((c == u'-' || c == u'+' || c == u'.') && m_i + 1 < m_s.size() &&
                            (m_s.at(m_i + 1).isDigit() || m_s.at(m_i + 1) == u'.')))
            return number();
        if (c.isLetter() || c == u'_') {
            const qsizetype start = m_i;
            while (m_i < m_s.size() && (m_s.at(m_i).isLetterOrNumber() || m_s.at(m_i) == u'_' || m_s.at(m_i) == u'$'))
                ++m_i;
            return {Token::Kind::Word, m_s.mid(start, m_i - start)};
        }
        ++m_i;
        return {Token::Kind::Symbol, QString(c)};
    }

private:
    Token quoted(QChar close, Token::Kind kind, bool doubledEscapes)
    {
        QString text;
        ++m_i;
        while (m_i < m_s.size()) {
            const qsizetype end = m_s.indexOf(close, m_i);
            if (end < 0)
                break;
            text.append(QStringView(m_s).mid(m_i, end - m_i));
            m_i = end + 1;
            if (doubledEscapes && m_i < m_s.size() && m_s.at(m_i) == close) {
                text.append(close);
                ++m_i;
                continue;
            }
            return {kind, text};
        }
        m_i = m_s.size();
        return {Token::Kind::Bad, text};
    }

    Token number()
    {
        const qsizetype start = m_i;
        if (m_s.at(m_i) == u'-' || m_s.at(m_i) == u'+')
            ++m_i;
        while (m_i < m_s.size() &&
               (m_s.at(m_i).isDigit() || m_s.at(m_i) == u'.' || m_s.at(m_i) == u'e' || m_s.at(m_i) == u'E' ||
                ((m_s.at(m_i) == u'-' || m_s.at(m_i) == u'+') && (m_s.at(m_i - 1) == u'e' || m_s.at(m_i - 1) == u'E'))))
            ++m_i;
        return {Token::Kind::Number, m_s.mid(start, m_i - start)};
    }

    const QString& m_s;
    qsizetype m_i = 0;
};

class Parser
{
public:
    explicit Parser(const QString& sql) : m_lexer(sql) { advance(); }

    std::optional<Statement> statement(QString* error)
    {
        if (isWord(u"CREATE")) {
            advance();
            if (auto s = createTable(); s && atEnd())
                return Statement(*s);
            return fail(error, QStringLiteral("Syntax error in CREATE TABLE statement."));
        }
        if (isWord(u"INSERT")) {
            advance();
            if (auto s = insertInto(); s && atEnd())
                return Statement(*s);
            return fail(error, QStringLiteral("Syntax error in INSERT INTO statement."));
        }
        return fail(error, QStringLiteral("Invalid SQL statement; expected 'CREATE TABLE' or 'INSERT INTO'."));
    }

private:
    static std::optional<Statement> fail(QString* error, const QString& text)
    {
        if (error)
            *error = text;
        return std::nullopt;
    }

    void advance() { m_tok = m_lexer.next(); }
    bool isWord(QStringView word) const
    {
        return m_tok.kind == Token::Kind::Word && m_tok.text.compare(word, Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(char16_t c) const { return m_tok.kind == Token::Kind::Symbol && m_tok.text == QChar(c); }
    bool take(char16_t c)
    {
        if (!isSymbol(c))
            return false;
        advance();
        return true;
    }
    bool takeWord(QStringView word)
    {
        if (!isWord(word))
            return false;
        advance();
        return true;
    }
    bool atEnd()
    {
        take(u';');
        return m_tok.kind == Token::Kind::End;
    }

    std::optional<QString> name()
    {
        if (m_tok.kind != Token::Kind::Word && m_tok.kind != Token::Kind::Name)
            return std::nullopt;
        QString n = m_tok.text;
        advance();
        return n.isEmpty() ? std::nullopt : std::optional<QString>(n);
    }

    std::optional<ColumnType> columnType()
    {
        if (m_tok.kind != Token::Kind::Word)
            return std::nullopt;
        const QString t = m_tok.text.toUpper();
        advance();
        static const QStringList text = {QStringLiteral("TEXT"),     QStringLiteral("MEMO"),
                                         QStringLiteral("CHAR"),     QStringLiteral("VARCHAR"),
                                         QStringLiteral("LONGTEXT"), QStringLiteral("LONGCHAR")};
        static const QStringList number = {QStringLiteral("NUMBER"), QStringLiteral("DOUBLE"),
                                           QStringLiteral("FLOAT"),  QStringLiteral("INTEGER"),
                                           QStringLiteral("INT"),    QStringLiteral("CURRENCY")};
        std::optional<ColumnType> type;
        if (text.contains(t))
            type = ColumnType::Text;
        else if (number.contains(t))
            type = ColumnType::Number;
        if (type && take(u'(')) { // a length such as TEXT(255) carries no meaning here
            if (m_tok.kind != Token::Kind::Number)
                return std::nullopt;
            advance();
            if (!take(u')'))
                return std::nullopt;
        }
        return type;
    }

    std::optional<CreateTable> createTable()
    {
        CreateTable s;
        if (!takeWord(u"TABLE"))
            return std::nullopt;
        auto table = name();
        if (!table || !take(u'('))
            return std::nullopt;
        s.table = *table;
        do {
            auto column = name();
            auto type = column ? columnType() : std::nullopt;
            if (!type)
                return std::nullopt;
            s.columns.append({*column, *type});
        } while (take(u','));
        if (!take(u')'))
            return std::nullopt;
        return s;
    }

    std::optional<Value> value()
    {
        Value v;
        switch (m_tok.kind) {
        case Token::Kind::String:
            v.kind = Value::Kind::Text;
            v.text = m_tok.text;
            break;
        case Token::Kind::Number: {
            bool ok = false;
            v.number = m_tok.text.toDouble(&ok);
            if (!ok)
                return std::nullopt;
            v.kind = Value::Kind::Number;
            v.text = m_tok.text;
            break;
        }
        case Token::Kind::Word:
            if (!isWord(u"NULL"))
                return std::nullopt;
            break;
        default:
            return std::nullopt;
        }
        advance();
        return v;
    }

    std::optional<InsertInto> insertInto()
    {
        InsertInto s;
        if (!takeWord(u"INTO"))
            return std::nullopt;
        auto table = name();
        if (!table)
            return std::nullopt;
        s.table = *table;
        if (take(u'(')) {
            do {
                auto column = name();
                if (!column)
                    return std::nullopt;
                s.columns.append(*column);
            } while (take(u','));
            if (!take(u')'))
                return std::nullopt;
        }
        if (!takeWord(u"VALUES") || !take(u'('))
            return std::nullopt;
        do {
            auto v = value();
            if (!v)
                return std::nullopt;
            s.values.append(*v);
        } while (take(u','));
        if (!take(u')'))
            return std::nullopt;
        return s;
    }

    Lexer m_lexer;
    Token m_tok;
};

} // namespace

std::optional<Statement> parse(const QString& sql, QString* error)
{
    return Parser(sql).statement(error);
}

} // namespace Sql
