#include "ServerSchema.h"

#include "Schema.h"
#include "platform/db/pg/PgDialect.h"

namespace schema::server {

namespace {

using engine::PgDialect::quote;

std::string indexName(const std::string& table, const std::string& column,
                      const std::string& suffix) {
    std::string name = table + "_" + column + suffix;
    for (char& c : name)
        if (c == ' ' || c == '#')
            c = '_';
    return quote(name);
}

} // namespace

std::string createCommonSql() {
    // Every name in the functions is schema-qualified, and those that run
    // with their owner's rights search pg_temp last: an account's own
    // temporary table or function never stands in for the collection's.
    const std::string path = " SET search_path = pg_catalog, public, pg_temp ";
    const std::string owner = std::string(" OWNER TO ") + kOwnerRole + ";";
    return "CREATE EXTENSION IF NOT EXISTS pg_trgm;"
           "CREATE TABLE public.quarzel_meta (key text PRIMARY KEY, value text NOT NULL);"
           // Each statement's rows go into the table's change log (key and
           // what was done, in the order written), with the owner's rights:
           // no account writes an entry of its own. The notice sent when the
           // change commits names the table only, a hint to read its log:
           // anyone may send one, and a forged one finds nothing new there.
           "CREATE FUNCTION public.quarzel_announce() RETURNS trigger LANGUAGE plpgsql "
           "SECURITY DEFINER" +
           path +
           "AS $$ BEGIN "
           "EXECUTE pg_catalog.format('INSERT INTO public.%I (sample, kind) SELECT \"ID\", $1 "
           "FROM %I ORDER BY \"ID\"', TG_TABLE_NAME || '_changes', CASE TG_OP WHEN 'INSERT' "
           "THEN 'added' WHEN 'UPDATE' THEN 'changed' ELSE 'removed' END) USING "
           "pg_catalog.left(TG_OP, 1); "
           // The log keeps its newest entries (quarzel_meta's changes_kept,
           // else kChangesKept), trimmed by one writer at a time: a window
           // that far behind reads its rows again.
           "IF pg_catalog.pg_try_advisory_xact_lock(20261210, pg_catalog.hashtext(TG_TABLE_NAME)) "
           "THEN EXECUTE pg_catalog.format('DELETE FROM public.%1$I WHERE seq <= (SELECT "
           "pg_catalog.max(seq) FROM public.%1$I) - $1', TG_TABLE_NAME || '_changes') USING "
           "coalesce((SELECT value::bigint FROM public.quarzel_meta WHERE key = "
           "'changes_kept'), " +
           std::to_string(kChangesKept) +
           "); END IF; "
           "PERFORM pg_catalog.pg_notify('" +
           std::string(kChangeChannel) +
           "', TG_TABLE_NAME); RETURN NULL; END $$;"
           "ALTER FUNCTION public.quarzel_announce()" +
           owner +
           // The rows each statement added or removed, a row per statement:
           // a table's exact count is their sum, at once, and concurrent
           // writers never wait for one another's count. Only the two
           // functions write it, with the rights of their owner, who may
           // insert into it and do nothing else: no account can write a
           // count of its own.
           "CREATE TABLE public.quarzel_counts (table_name text NOT NULL, n bigint NOT NULL);"
           "CREATE INDEX quarzel_counts_table ON public.quarzel_counts (table_name);"
           // Kept short: past kCountRows rows of a table they are summed into
           // one, by one writer at a time (the others go on without waiting);
           // rows others add meanwhile are not seen, and stay.
           "CREATE FUNCTION public.quarzel_count_compact(t text) RETURNS void LANGUAGE plpgsql" +
           path +
           "AS $$ BEGIN "
           "IF (SELECT pg_catalog.count(*) FROM (SELECT 1 FROM public.quarzel_counts WHERE "
           "table_name = t LIMIT " +
           std::to_string(kCountRows + 1) + ") few) > " + std::to_string(kCountRows) +
           " AND pg_catalog.pg_try_advisory_xact_lock(20261209, pg_catalog.hashtext(t)) THEN "
           "WITH gone AS (DELETE FROM public.quarzel_counts WHERE table_name = t RETURNING n) "
           "INSERT INTO public.quarzel_counts (table_name, n) SELECT t, "
           "coalesce(pg_catalog.sum(n), 0) FROM gone; END IF; END $$;"
           "ALTER FUNCTION public.quarzel_count_compact(text)" +
           owner +
           "CREATE FUNCTION public.quarzel_count_added() RETURNS trigger LANGUAGE plpgsql "
           "SECURITY DEFINER" +
           path +
           "AS $$ BEGIN INSERT INTO public.quarzel_counts (table_name, n) "
           "SELECT TG_TABLE_NAME, pg_catalog.count(*) FROM added HAVING pg_catalog.count(*) > 0; "
           "PERFORM public.quarzel_count_compact(TG_TABLE_NAME); "
           "RETURN NULL; END $$;"
           "ALTER FUNCTION public.quarzel_count_added()" +
           owner +
           "CREATE FUNCTION public.quarzel_count_removed() RETURNS trigger LANGUAGE plpgsql "
           "SECURITY DEFINER" +
           path +
           "AS $$ BEGIN INSERT INTO public.quarzel_counts (table_name, n) "
           "SELECT TG_TABLE_NAME, -pg_catalog.count(*) FROM removed HAVING pg_catalog.count(*) > "
           "0; PERFORM public.quarzel_count_compact(TG_TABLE_NAME); RETURN NULL; END $$;"
           "ALTER FUNCTION public.quarzel_count_removed()" +
           owner;
}

std::string createTableSql(const std::string& table) {
    std::string sql = "CREATE TABLE " + quote(table) + " (";
    for (int i = 0; i < kColumnCount; ++i) {
        sql += i ? ", " : "";
        sql += quote(kColumns[static_cast<std::size_t>(i)]) + " ";
        if (i < kFirstAnalysisColumn)
            sql += "text COLLATE \"C\""; // compared folded by the statements, byte by byte
        else if (i == kFirstAnalysisColumn)
            sql += "numeric"; // whole numbers stay whole, as in the file
        else if (i <= kLastAnalysisColumn)
            sql += "double precision";
        else
            sql += "bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY";
    }
    // Vacuumed once a hundredth of the rows are dead, not the server's
    // fifth: a search's walk of an index then meets few dead entries, and
    // reads the index alone where the table's pages are all visible.
    return sql + ") WITH (autovacuum_vacuum_scale_factor = 0.01)";
}

std::string createIndexesSql(const std::string& table) {
    std::string sql;
    const std::string t = quote(table);
    for (Column text : kTextColumns) {
        const std::string column = columnName(text);
        const std::string c = quote(column);
        // In the order the program reads them: plain letters folded, Nulls
        // first, ties by key. The column itself comes with each entry, so
        // that a search's first rows in this order are found in the index
        // alone: the rows passed over before the first match (hundreds of
        // thousands in a large table) are never read from the table.
        sql += "CREATE INDEX " + indexName(table, column, "") + " ON " + t + " (lower(" + c +
               ") ASC NULLS FIRST, \"ID\") INCLUDE (" + c + ");";
        sql += "CREATE INDEX " + indexName(table, column, "_trigram") + " ON " + t +
               " USING gin ((CAST(" + c + " AS text) COLLATE \"default\") gin_trgm_ops);";
    }
    sql += "CREATE TRIGGER " + indexName(table, "count_added", "") + " AFTER INSERT ON " + t +
           " REFERENCING NEW TABLE AS added FOR EACH STATEMENT EXECUTE FUNCTION "
           "public.quarzel_count_added();";
    sql += "CREATE TRIGGER " + indexName(table, "count_removed", "") + " AFTER DELETE ON " + t +
           " REFERENCING OLD TABLE AS removed FOR EACH STATEMENT EXECUTE FUNCTION "
           "public.quarzel_count_removed();";
    sql += "INSERT INTO public.quarzel_counts SELECT '" + table + "', count(*) FROM " + t + ";";
    // A statement's rows are logged together (one trigger per kind: each
    // names its rows' transition table as the function reads it).
    const std::string log = quote(changesTable(table));
    sql += "CREATE TABLE " + log +
           " (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, sample bigint NOT NULL, "
           "kind text NOT NULL);";
    for (auto [op, rows] : {std::pair{"INSERT", "NEW TABLE AS added"},
                            {"UPDATE", "NEW TABLE AS changed"},
                            {"DELETE", "OLD TABLE AS removed"}})
        sql += "CREATE TRIGGER " + indexName(table, std::string("announce_") + op, "") + " AFTER " +
               op + " ON " + t + " REFERENCING " + rows +
               " FOR EACH STATEMENT EXECUTE FUNCTION public.quarzel_announce();";
    return sql;
}

std::string changesTable(const std::string& table) {
    return table + "_changes";
}

std::string createStoreSql() {
    // Ids are integers given by the server; a reference is found again by
    // the digest of its text (a citation may be longer than an index entry
    // can hold).
    return "CREATE TABLE public.quarzel_channel (code integer GENERATED BY DEFAULT AS IDENTITY "
           "PRIMARY KEY, analyte text NOT NULL, unit text NOT NULL, method text NOT NULL, "
           "UNIQUE (analyte, unit, method));"
           "CREATE TABLE public.quarzel_reference (code integer GENERATED BY DEFAULT AS IDENTITY "
           "PRIMARY KEY, text text NOT NULL);"
           "CREATE UNIQUE INDEX quarzel_reference_text ON public.quarzel_reference "
           "(md5(text));";
}

std::string valuesTable(const std::string& table) {
    return table + "_values";
}

std::string valuesSequence(const std::string& table) {
    return valuesTable(table) + "_seq_seq";
}

std::string createValuesTableSql(const std::string& table) {
    return "CREATE TABLE " + quote(valuesTable(table)) +
           " (sample bigint NOT NULL, seq bigint GENERATED BY DEFAULT AS IDENTITY, channel "
           "integer NOT NULL, qualifier text, value double precision, text text, uncertainty "
           "double precision, reference integer)";
}

std::string createValuesIndexesSql(const std::string& table) {
    const std::string v = quote(valuesTable(table));
    return "ALTER TABLE " + v + " ADD PRIMARY KEY (sample, seq), ADD FOREIGN KEY (sample) " +
           "REFERENCES " + quote(table) + " (\"ID\") ON DELETE CASCADE;" + "CREATE INDEX " +
           indexName(valuesTable(table), "channel", "") + " ON " + v + " (channel);";
}

std::string createHistoryFunctionsSql() {
    const std::string path = " SET search_path = pg_catalog, public, pg_temp ";
    const std::string owner = std::string(" OWNER TO ") + kOwnerRole + ";";
    // The rows' columns are compared and kept as their text (a double's
    // text reads back exactly). Inserts between an account's own
    // set_config('quarzel.bulk', table) and its end make one entry, written
    // by quarzel_history_imported.
    return "CREATE FUNCTION public.quarzel_history() RETURNS trigger LANGUAGE plpgsql "
           "SECURITY DEFINER" +
           path +
           "AS $$ DECLARE e bigint; o jsonb; n jsonb; h text := TG_TABLE_NAME || '_history'; "
           "BEGIN "
           "IF TG_OP = 'INSERT' THEN "
           "IF pg_catalog.current_setting('quarzel.bulk', true) = TG_TABLE_NAME THEN RETURN NULL; "
           "END IF; "
           "EXECUTE pg_catalog.format('INSERT INTO public.%I (account, kind, sample) VALUES "
           "(session_user, ''added'', $1)', h) USING NEW.\"ID\"; RETURN NULL; "
           "ELSIF TG_OP = 'UPDATE' THEN "
           "o := pg_catalog.to_jsonb(OLD); n := pg_catalog.to_jsonb(NEW); "
           "IF o = n THEN RETURN NULL; END IF; "
           "EXECUTE pg_catalog.format('INSERT INTO public.%I (account, kind, sample) VALUES "
           "(session_user, ''changed'', $1) RETURNING entry', h) INTO e USING NEW.\"ID\"; "
           "EXECUTE pg_catalog.format('INSERT INTO public.%I SELECT $1, k, $2 ->> k, $3 ->> k "
           "FROM pg_catalog.jsonb_object_keys($2) AS k WHERE ($2 -> k) IS DISTINCT FROM ($3 -> "
           "k)', h || '_columns') USING e, o, n; RETURN NULL; "
           "END IF; "
           "o := pg_catalog.to_jsonb(OLD); "
           "EXECUTE pg_catalog.format('INSERT INTO public.%I (account, kind, sample) VALUES "
           "(session_user, ''deleted'', $1) RETURNING entry', h) INTO e USING OLD.\"ID\"; "
           "EXECUTE pg_catalog.format('INSERT INTO public.%I SELECT $1, k, $2 ->> k, NULL FROM "
           "pg_catalog.jsonb_object_keys($2) AS k', h || '_columns') USING e, o; "
           "EXECUTE pg_catalog.format('INSERT INTO public.%I SELECT $1, seq, channel, qualifier, "
           "value, text, uncertainty, reference FROM public.%I WHERE sample = $2', h || "
           "'_values', TG_TABLE_NAME || '_values') USING e, OLD.\"ID\"; "
           "RETURN OLD; END $$;"
           "ALTER FUNCTION public.quarzel_history()" +
           owner +
           // Only a table that keeps a history, and only rows counted by the
           // caller: the entry names the caller, whatever it says.
           "CREATE FUNCTION public.quarzel_history_imported(t text, first bigint, n bigint) "
           "RETURNS void LANGUAGE plpgsql SECURITY DEFINER" +
           path +
           "AS $$ BEGIN "
           "IF t NOT IN (SELECT table_name FROM public.quarzel_history_tables) THEN "
           "RAISE EXCEPTION 'no history is kept of %', t; END IF; "
           "IF n > 0 THEN EXECUTE pg_catalog.format('INSERT INTO public.%I (account, kind, "
           "sample, row_count) VALUES (session_user, ''imported'', $1, $2)', t || '_history') "
           "USING first, n; END IF; "
           "PERFORM pg_catalog.set_config('quarzel.bulk', '', true); END $$;"
           "ALTER FUNCTION public.quarzel_history_imported(text, bigint, bigint)" +
           owner + "CREATE TABLE public.quarzel_history_tables (table_name text PRIMARY KEY);";
}

std::vector<std::string> historyTables(const std::string& table) {
    return {table + "_history", table + "_history_columns", table + "_history_values"};
}

std::string createHistorySql(const std::string& table) {
    const std::string h = quote(table + "_history");
    const std::string t = quote(table);
    return "CREATE TABLE " + h +
           " (entry bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, made text NOT NULL DEFAULT "
           "to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), "
           "account text NOT NULL, kind text NOT NULL, sample bigint NOT NULL, row_count bigint);"
           "CREATE INDEX " +
           indexName(table, "history", "_sample") + " ON " + h + " (sample, entry);" +
           "CREATE TABLE " + quote(table + "_history_columns") +
           " (entry bigint NOT NULL, name text NOT NULL, before_value text, after_value text, "
           "PRIMARY KEY (entry, name));"
           "CREATE TABLE " +
           quote(table + "_history_values") +
           " (entry bigint NOT NULL, seq bigint NOT NULL, channel integer NOT NULL, qualifier "
           "text, value double precision, text text, uncertainty double precision, reference "
           "integer, PRIMARY KEY (entry, seq));"
           "INSERT INTO public.quarzel_history_tables VALUES ('" +
           table + "');" + "CREATE TRIGGER " + indexName(table, "history_kept", "") +
           " AFTER INSERT OR UPDATE ON " + t +
           " FOR EACH ROW EXECUTE FUNCTION public.quarzel_history();" + "CREATE TRIGGER " +
           indexName(table, "history_deleted", "") + " BEFORE DELETE ON " + t +
           " FOR EACH ROW EXECUTE FUNCTION public.quarzel_history();";
}

std::string restartKeysSql(const std::string& table) {
    return "SELECT setval(pg_get_serial_sequence('" + quote(table) +
           "', 'ID'), coalesce((SELECT max(\"ID\") FROM " + quote(table) + "), 0) + 1, false)";
}

} // namespace schema::server
