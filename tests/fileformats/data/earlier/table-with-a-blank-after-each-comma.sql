INSERT INTO contact VALUES(1,'','Anna  Weber');
INSERT INTO contact VALUES(2,'','明  王');
INSERT INTO data VALUES(1,1,1,'','Anna  Weber','Anna',' Weber','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(2,10,1,'',' Acme','','','',' Sales','','','','','','','','','',NULL);
INSERT INTO data VALUES(3,12,1,'',replace('Hauptstr. 1\n Berlin ,  10115','\n',char(10)),'1','',' Hauptstr. 1','','',' Berlin ','',' 10115','','','','','',NULL);
INSERT INTO data VALUES(4,1,2,'','明  王','明',' 王','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(5,12,2,'',replace('1 Chang An Jie\n Beijing,  100000','\n',char(10)),'1','',' 1 Chang An Jie','','',' Beijing','',' 100000','','','','','',NULL);
