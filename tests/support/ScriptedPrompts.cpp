#include "ScriptedPrompts.h"

ScriptedPrompts::ScriptedPrompts()
{
    Prompts::install(this);
}

ScriptedPrompts::~ScriptedPrompts()
{
    Prompts::install(nullptr);
}

QStringList ScriptedPrompts::texts(Kind kind) const
{
    QStringList result;
    for (const Shown &s : m_shown)
        if (s.kind == kind)
            result.append(s.text);
    return result;
}

void ScriptedPrompts::clear()
{
    m_shown.clear();
    m_confirms.clear();
    m_inputs.clear();
    m_files.clear();
    m_choices.clear();
    m_unanswered = 0;
}

void ScriptedPrompts::information(const QString &text)
{
    m_shown.append({Kind::Information, text, {}});
}

void ScriptedPrompts::warning(const QString &text)
{
    m_shown.append({Kind::Warning, text, {}});
}

void ScriptedPrompts::error(const QString &text)
{
    m_shown.append({Kind::Error, text, {}});
}

bool ScriptedPrompts::confirm(const QString &text, Question kind)
{
    m_shown.append({Kind::Confirmation, text, {}, kind});
    if (m_confirms.isEmpty()) {
        ++m_unanswered;
        return false;
    }
    return m_confirms.dequeue();
}

std::optional<QString> ScriptedPrompts::inputQuery(const QString &caption, const QString &prompt,
                                                   const QString &value, int maxLength)
{
    m_shown.append({Kind::Input, caption + QLatin1Char('|') + prompt, value, Question::YesNo, maxLength});
    if (m_inputs.isEmpty()) {
        ++m_unanswered;
        return std::nullopt;
    }
    // The field takes no more than its limit, as the real one does.
    const std::optional<QString> typed = m_inputs.dequeue();
    return typed && maxLength > 0 ? std::optional<QString>(typed->left(maxLength)) : typed;
}

std::optional<QString> ScriptedPrompts::maskedInput(const QString &caption, const QString &prompt,
                                                    const QString &value)
{
    m_shown.append({Kind::MaskedInput, caption + QLatin1Char('|') + prompt, value});
    if (m_inputs.isEmpty()) {
        ++m_unanswered;
        return std::nullopt;
    }
    return m_inputs.dequeue();
}

std::optional<int> ScriptedPrompts::choose(const QString &caption, const QString &prompt, const QStringList &items)
{
    m_shown.append({Kind::Choice, caption + QLatin1Char('|') + prompt, items.join(QLatin1Char('\n'))});
    if (m_choices.isEmpty()) {
        ++m_unanswered;
        return std::nullopt;
    }
    const std::optional<int> picked = m_choices.dequeue();
    return picked && *picked >= 0 && *picked < items.size() ? picked : std::nullopt;
}

QString ScriptedPrompts::takeFile(Kind kind, const QString &caption)
{
    m_shown.append({kind, caption, {}});
    if (m_files.isEmpty()) {
        ++m_unanswered;
        return {};
    }
    return m_files.dequeue();
}

QString ScriptedPrompts::openFile(const QString &caption, const QString &, const QString &)
{
    return takeFile(Kind::OpenFile, caption);
}

QString ScriptedPrompts::saveFile(const QString &caption, const QString &, const QString &,
                                  const QString &)
{
    return takeFile(Kind::SaveFile, caption);
}
