// Tokens, values and variables of the stand-in's PowerShell subset.
#include "ps.h"
#include <string.h>

struct Var
{
    char name[64];
    Value v;
};

static Var s_vars[32];
static int s_nvars;

// Variables PowerShell itself defines: reading one would not give $null there, so it is refused.
static const char *const k_automatic[] = {
    "true", "false", "_", "args", "input", "this", "PSScriptRoot", "PSCommandPath", "MyInvocation",
    "PWD", "HOME", "Host", "PID", "PSVersionTable", "PSHOME", "Error", "Matches", "ExecutionContext",
    "ShellId", "ErrorActionPreference", "OFS", "PSItem", "StackTrace", "ConfirmPreference",
};

static int is_space(char c)
{
    return c == ' ' || c == '\t';
}

static int is_name_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// 1 for a character that ends a bareword, a string or a variable.
static int ends_word(char c)
{
    return c == 0 || is_space(c) || strchr("(){}|&;,'\"<>`", c) != NULL;
}

// Length of the variable name at p (just past its "$"), "env:NAME" included;
// -1 for a form outside the subset: "$x:" is a parse error in PowerShell, and
// scopes and drives other than env: are not ours.
static int name_len(const char *p, const char *end)
{
    const char *q = p;
    while (q < end && is_name_char(*q))
        q++;
    if (q == p)
        return -1;
    if (q < end && *q == ':')
    {
        if (q - p != 3 || _strnicmp(p, "env", 3) != 0)
            return -1;
        const char *r = q + 1;
        while (r < end && is_name_char(*r))
            r++;
        if (r == q + 1)
            return -1;
        q = r;
    }
    return (int)(q - p);
}

// 1 when the name (n bytes) is one of k_automatic.
static int automatic(const char *name, int n)
{
    for (size_t i = 0; i < sizeof k_automatic / sizeof k_automatic[0]; i++)
        if ((int)strlen(k_automatic[i]) == n && _strnicmp(k_automatic[i], name, (size_t)n) == 0)
            return 1;
    return 0;
}

// Appends n bytes to out (cap bytes with the NUL); 0 when they do not fit. out NULL only counts.
static int append(char *out, int cap, int *len, const char *p, int n)
{
    if (*len + n >= cap)
        return 0;
    if (out)
        memcpy(out + *len, p, (size_t)n);
    *len += n;
    return 1;
}

// The character a backtick escape stands for in a double-quoted string; 0 for `0, which we refuse.
static char escape(char c)
{
    switch (c)
    {
    case '0': return 0;
    case 'a': return 7;
    case 'b': return 8;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case 'v': return 11;
    default: return c;
    }
}

// Expands the inside of a double-quoted string into out; with out NULL it only
// checks the form. 0 when it holds a form outside the subset or does not fit.
static int expand(const char *p, int n, char *out, int cap)
{
    const char *end = p + n;
    int len = 0;
    while (p < end)
    {
        char c = *p++;
        if (c == '`' || c == '"')
        {
            // `x is an escape; "" is one quote.
            char e = c == '`' ? escape(*p) : '"';
            p++;
            if (!e || !append(out, cap, &len, &e, 1))
                return 0;
        }
        else if (c == '$' && p < end && is_name_char(*p))
        {
            int k = name_len(p, end);
            if (k < 0 || automatic(p, k))
                return 0;
            if (out)
            {
                Value v;
                char text[TEXT_CAP];
                get_var(p, k, &v);
                value_text(&v, text, TEXT_CAP);
                if (!append(out, cap, &len, text, (int)strlen(text)))
                    return 0;
            }
            p += k;
        }
        else if (c == '$' && p < end && strchr("({?$^", *p))
            return 0;
        else if (!append(out, cap, &len, &c, 1))
            return 0;
    }
    if (out)
        out[len] = 0;
    return 1;
}

// The end of the quoted string starting at p (on its quote), or NULL when it is not closed.
static const char *quoted_end(const char *p)
{
    char q = *p;
    for (p++; *p; p++)
    {
        if (q == '"' && *p == '`')
        {
            if (!p[1])
                return NULL;
            p++;
        }
        else if (*p == q)
        {
            if (p[1] != q)
                return p + 1;
            p++;
        }
    }
    return NULL;
}

// Reads one token at s into k; the text after it, or NULL when it leaves the subset.
static const char *one_token(const char *s, Token *k)
{
    const char *single = "(){}|&";
    const int kinds[] = {T_LPAREN, T_RPAREN, T_LBRACE, T_RBRACE, T_PIPE, T_AMP};
    const char *hit = strchr(single, *s);
    if (hit)
    {
        k->kind = kinds[hit - single];
        k->p = s;
        k->n = 1;
        return s + 1;
    }
    const char *end;
    if (*s == '\'' || *s == '"')
    {
        end = quoted_end(s);
        if (!end)
            return NULL;
        k->kind = *s == '"' ? T_DQ : T_SQ;
        k->p = s + 1;
        k->n = (int)(end - s) - 2;
        if (k->kind == T_DQ && !expand(k->p, k->n, NULL, TEXT_CAP))
            return NULL;
    }
    else if (*s == '$')
    {
        int len = name_len(s + 1, s + strlen(s));
        if (len < 0)
            return NULL;
        k->kind = T_VAR;
        k->p = s + 1;
        k->n = len;
        end = s + 1 + len;
    }
    else
    {
        // Array, type, splatting and redirection forms are not ours.
        if (strchr(";,<>`@[!", *s))
            return NULL;
        for (end = s; !ends_word(*end); end++)
            if (*end == '$')
                return NULL;
        k->kind = T_WORD;
        k->p = s;
        k->n = (int)(end - s);
    }
    // 'a'b or $x.y glue more onto a value: member access and concatenation are not ours.
    return ends_word(*end) && *end != '\'' && *end != '"' ? end : NULL;
}

int tokenize(const char *line, Token *t, int *count)
{
    int n = 0;
    const char *s = line;
    for (;;)
    {
        while (is_space(*s))
            s++;
        if (!*s || *s == '#')
            break;
        if (n == MAX_TOKENS)
            return 0;
        s = one_token(s, &t[n++]);
        if (!s)
            return 0;
    }
    *count = n;
    return 1;
}

int is_word(const Token *t, const char *w)
{
    return t->kind == T_WORD && (int)strlen(w) == t->n && _strnicmp(t->p, w, (size_t)t->n) == 0;
}

void set_str(Value *v, const char *s, int n)
{
    if (n >= TEXT_CAP)
        n = TEXT_CAP - 1;
    v->kind = V_STR;
    v->num = 0;
    memcpy(v->text, s, (size_t)n);
    v->text[n] = 0;
}

void set_int(Value *v, long long num)
{
    v->kind = V_INT;
    v->num = num;
    v->text[0] = 0;
}

int parse_int(const char *p, int n, long long *num)
{
    int i = n > 1 && p[0] == '-' ? 1 : 0;
    if (i == n || n - i > 18)
        return 0;
    long long x = 0;
    for (int k = i; k < n; k++)
    {
        if (p[k] < '0' || p[k] > '9')
            return 0;
        x = x * 10 + (p[k] - '0');
    }
    *num = i ? -x : x;
    return 1;
}

int eval(const Token *t, Value *v)
{
    long long num;
    switch (t->kind)
    {
    case T_SQ:
    {
        int len = 0;
        for (int i = 0; i < t->n && len < TEXT_CAP - 1; i++)
        {
            v->text[len++] = t->p[i];
            if (t->p[i] == '\'')
                i++; // '' stands for one quote
        }
        v->kind = V_STR;
        v->text[len] = 0;
        return 1;
    }
    case T_DQ:
        v->kind = V_STR;
        return expand(t->p, t->n, v->text, TEXT_CAP) ? 1 : unsupported();
    case T_VAR:
        if (automatic(t->p, t->n))
            return unsupported();
        get_var(t->p, t->n, v);
        return 1;
    case T_WORD:
        if (parse_int(t->p, t->n, &num))
            set_int(v, num);
        else
            set_str(v, t->p, t->n);
        return 1;
    default:
        return unsupported();
    }
}

void value_text(const Value *v, char *out, int cap)
{
    if (v->kind == V_STR)
    {
        lstrcpynA(out, v->text, cap);
        return;
    }
    if (v->kind == V_NULL || cap < 21)
    {
        out[0] = 0;
        return;
    }
    char digits[24];
    int n = 0;
    unsigned long long x = v->num < 0 ? 0ull - (unsigned long long)v->num : (unsigned long long)v->num;
    do
    {
        digits[n++] = (char)('0' + x % 10);
        x /= 10;
    } while (x);
    int len = 0;
    if (v->num < 0)
        out[len++] = '-';
    while (n)
        out[len++] = digits[--n];
    out[len] = 0;
}

int truthy(const Value *v)
{
    if (v->kind == V_INT)
        return v->num != 0;
    return v->kind == V_STR && v->text[0] != 0;
}

int widen(const char *s, wchar_t *out, int cap)
{
    return MultiByteToWideChar(CP_UTF8, 0, s, -1, out, cap) != 0;
}

// 1 when the name (n bytes) is "env:..."; *rest then points past the colon.
static int env_name(const char *name, int n, const char **rest)
{
    if (n > 4 && _strnicmp(name, "env:", 4) == 0)
    {
        *rest = name + 4;
        return 1;
    }
    return 0;
}

// The table slot of a script variable, or -1.
static int find_var(const char *name, int n)
{
    for (int i = 0; i < s_nvars; i++)
        if ((int)strlen(s_vars[i].name) == n && _strnicmp(s_vars[i].name, name, (size_t)n) == 0)
            return i;
    return -1;
}

void get_var(const char *name, int n, Value *v)
{
    v->kind = V_NULL;
    v->text[0] = 0;
    const char *rest;
    if (env_name(name, n, &rest))
    {
        char key[64];
        wchar_t wkey[64], wval[TEXT_CAP];
        int len = n - 4;
        if (len >= 64)
            return;
        memcpy(key, rest, (size_t)len);
        key[len] = 0;
        if (!widen(key, wkey, 64))
            return;
        DWORD got = GetEnvironmentVariableW(wkey, wval, TEXT_CAP);
        if (got == 0 || got >= TEXT_CAP)
            return; // unset, empty (Windows keeps no empty variables) or too long
        if (WideCharToMultiByte(CP_UTF8, 0, wval, -1, v->text, TEXT_CAP, NULL, NULL))
            v->kind = V_STR;
        return;
    }
    int i = find_var(name, n);
    if (i >= 0)
        *v = s_vars[i].v;
}

int set_var(const char *name, int n, const Value *v)
{
    const char *rest;
    if (n >= 64)
        return 0;
    if (env_name(name, n, &rest))
    {
        char key[64], text[TEXT_CAP];
        wchar_t wkey[64], wval[TEXT_CAP];
        memcpy(key, rest, (size_t)(n - 4));
        key[n - 4] = 0;
        value_text(v, text, TEXT_CAP);
        if (!widen(key, wkey, 64) || !widen(text, wval, TEXT_CAP))
            return 0;
        SetEnvironmentVariableW(wkey, text[0] ? wval : NULL);
        return 1;
    }
    if (n == 4 && _strnicmp(name, "null", 4) == 0)
        return 1; // assigning to $null discards
    int i = find_var(name, n);
    if (i < 0)
    {
        if (s_nvars == 32)
            return 0;
        i = s_nvars++;
        memcpy(s_vars[i].name, name, (size_t)n);
        s_vars[i].name[n] = 0;
    }
    s_vars[i].v = *v;
    return 1;
}
